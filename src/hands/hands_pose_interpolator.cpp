#include "hands/hands_pose_interpolator.h"

#include <cstring>

#include "host/guarded_memory.h"
#include "host/hook_slots.h"
#include "measure/stage_meter.h"
#include "shared/process_object.h"

namespace driftglass {
namespace {

constexpr uintptr_t kHandsMesh = 0x44;
constexpr uintptr_t kMeshActive = 0x24;

using UpdateGraphicsForFrameFunction = void(DRIFTGLASS_THISCALL*)(void* mesh, float frameTime);

}  // namespace

const wchar_t* HandsPoseStageResultName(uint32_t result) {
  switch (result) {
    case kHandsPoseStaged: return L"staged";
    case kHandsPoseStageUnavailable: return L"unavailable";
    case kHandsPoseInactive: return L"inactive";
    default: return L"unknown";
  }
}

const wchar_t* HandsPoseResultName(uint32_t result) {
  switch (result) {
    case kHandsPoseNotTarget: return L"not-target";
    case kHandsPoseCaptured: return L"captured";
    case kHandsPoseApplied: return L"applied";
    case kHandsPoseAlreadyApplied: return L"already-applied";
    case kHandsPoseUnavailable: return L"unavailable";
    case kHandsPoseIdentityChanged: return L"identity-changed";
    case kHandsPoseClockUnavailable: return L"clock-unavailable";
    case kHandsPosePairMissing: return L"pair-missing";
    case kHandsPoseInvalid: return L"invalid";
    default: return L"unknown";
  }
}

void HandsPoseInterpolator::Configure(uintptr_t updateGraphicsForFrame) {
  Restore();
  ClearStaged();
  committedMesh_ = nullptr;
  ForgetMesh();
  sample_ = ClockSample{};
  failedRestore_ = false;
  diagnosticPending_ = false;
  updateGraphicsForFrame_ = updateGraphicsForFrame;
}

void HandsPoseInterpolator::ClearStaged() {
  stagedMesh_ = nullptr;
  stagedTick_ = 0;
  staged_ = false;
}

// The palette identity and the history that belongs to it.
void HandsPoseInterpolator::ForgetMesh() {
  identityBegin_ = 0;
  identityBones_ = 0;
  appendedThisTick_ = false;
  history_.ClearHistory();
}

uint32_t HandsPoseInterpolator::Stage(void* hands, uint64_t tick) {
  void* mesh = nullptr;
  uint8_t active = 0;
  if (!ReadHostValue(hands, kHandsMesh, mesh) || !ReadHostValue(mesh, kMeshActive, active) ||
      active > 1) {
    ClearStaged();
    return kHandsPoseStageUnavailable;
  }
  if (active == 0) {
    ClearStaged();  // so the tick's capture forgets the hands
    return kHandsPoseInactive;
  }
  stagedMesh_ = mesh;
  stagedTick_ = tick;
  staged_ = true;
  return kHandsPoseStaged;
}

void HandsPoseInterpolator::Capture(uint64_t tick, uint64_t generation) {
  lastTick_ = tick;
  lastGeneration_ = generation;
  if (!staged_ || stagedTick_ != tick) {
    committedMesh_ = nullptr;
    ForgetMesh();
  } else if (stagedMesh_ != committedMesh_) {
    committedMesh_ = stagedMesh_;
    ForgetMesh();
  }
  ClearStaged();
}

uint32_t HandsPoseInterpolator::Unavailable() {
  appendedThisTick_ = false;
  history_.ClearHistory();
  return kHandsPoseUnavailable;
}

uint32_t HandsPoseInterpolator::Apply(const ClockSample& sample, uint64_t currentTick,
                                      float frameTime) {
  if (saved_.Pending() && !Restore()) failedRestore_ = true;
  sample_ = sample;
  if (committedMesh_ == nullptr || currentTick != lastTick_) {
    inSync_ = false;
    return kHandsPoseNotTarget;
  }
  inSync_ = true;
  if (updateGraphicsForFrame_ == 0) return kHandsPoseNotTarget;

  // Staged a tick ago: the mesh must still look like one before the host is called on it.
  void* const mesh = committedMesh_;
  uint8_t active = 0;
  if (!ReadHostValue(mesh, kMeshActive, active) || active > 1) return Unavailable();
  {
    HostCallScope call;
    reinterpret_cast<UpdateGraphicsForFrameFunction>(updateGraphicsForFrame_)(mesh, frameTime);
  }
  // The host's call may have come back into this interpolator.
  if (!inSync_ || committedMesh_ != mesh) return kHandsPoseNotTarget;
  if (saved_.Pending()) return kHandsPoseAlreadyApplied;

  HostPaletteSpan span;
  if (!ReadHostPalette(mesh, span)) return Unavailable();
  uint32_t base = kHandsPoseCaptured;
  const auto begin = reinterpret_cast<uintptr_t>(span.begin);
  if (begin != identityBegin_ || span.bones != identityBones_) {
    ForgetMesh();
    identityBegin_ = begin;
    identityBones_ = span.bones;
    base = kHandsPoseIdentityChanged;
  }
  // The host recomputes the same palette for every frame of a tick: sample it once.
  if (!appendedThisTick_ || appendedTick_ != lastTick_) {
    tickResult_ = AppendTickPalette(span, base);
    appendedThisTick_ = true;
    appendedTick_ = lastTick_;
  }
  if (tickResult_ == kHandsPoseInvalid) return kHandsPoseInvalid;
  return Blend(span, tickResult_);
}

uint32_t HandsPoseInterpolator::AppendTickPalette(const HostPaletteSpan& span, uint32_t base) {
  CopyHostPalette(span, captured_);
  for (uint32_t bone = 0; bone < span.bones; ++bone) {
    if (!IsValidPaletteBone(captured_.transforms[bone])) {
      diagnostic_.boneIndex = bone;
      memcpy(diagnostic_.matrix, captured_.transforms[bone], sizeof(diagnostic_.matrix));
      diagnosticPending_ = true;
      break;
    }
  }
  switch (history_.AppendSnapshot(lastTick_, lastGeneration_, captured_)) {
    case kPaletteAppendAppended:
    case kPaletteAppendUnchanged: return base;
    case kPaletteAppendInvalid: return kHandsPoseInvalid;
    default: return kHandsPoseIdentityChanged;  // the history restarted from this tick
  }
}

uint32_t HandsPoseInterpolator::Blend(const HostPaletteSpan& span, uint32_t base) {
  switch (history_.PairSnapshots(sample_, blended_)) {
    case kPairApplied: break;
    case kPairClockUnavailable:
    case kPairGenerationMismatch: return kHandsPoseClockUnavailable;
    case kPairSnapshotsMissing:
      return base == kHandsPoseIdentityChanged ? kHandsPoseIdentityChanged : kHandsPosePairMissing;
    default: return kHandsPoseInvalid;
  }
  if (blended_.boneCount != span.bones) {
    appendedThisTick_ = false;
    history_.ClearHistory();
    return kHandsPoseInvalid;
  }
  saved_.SaveAndWrite(span, blended_);
  return kHandsPoseApplied;
}

bool HandsPoseInterpolator::Restore() {
  inSync_ = false;
  return saved_.Restore();
}

bool HandsPoseInterpolator::TakeDiagnostic(HandsPoseDiagnostic& out) {
  if (!diagnosticPending_) return false;
  out = diagnostic_;
  diagnosticPending_ = false;
  return true;
}

bool HandsPoseInterpolator::TakeFailedRestore() {
  const bool failed = failedRestore_;
  failedRestore_ = false;
  return failed;
}

HandsPoseInterpolator& ProcessHandsPoseInterpolator() {
  static ZeroedRoom<HandsPoseInterpolator> room;
  static HandsPoseInterpolator& interpolator = room.Build();
  return interpolator;
}

}  // namespace driftglass
