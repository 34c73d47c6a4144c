#include "interp/hands_pose_interpolator.h"

#include <cstring>

#include "host/guarded_memory.h"
#include "host/hook_slots.h"

namespace driftglass {
namespace {

constexpr uintptr_t kHandsMesh = 0x44;
constexpr uintptr_t kMeshActive = 0x24;
constexpr uintptr_t kMeshPalette = 0x380;  // begin, end, capacity end

using UpdateGraphicsForFrameFunction = void(DRIFTGLASS_THISCALL*)(void* mesh, float frameTime);

// The bones the host's palette array holds right now, if it is sound enough to read and write.
struct PaletteSpan {
  uint8_t* begin = nullptr;
  uint32_t bones = 0;
};

bool ReadPaletteSpan(const void* mesh, uint32_t boneBytes, PaletteSpan& span) {
  uintptr_t range[3];
  if (!ReadHostValue(mesh, kMeshPalette, range)) return false;
  const uintptr_t begin = range[0], end = range[1], capacityEnd = range[2];
  if (begin == 0 || begin > end || end > capacityEnd) return false;
  if ((end - begin) % boneBytes != 0 || (capacityEnd - begin) % boneBytes != 0) return false;
  const uintptr_t bones = (end - begin) / boneBytes;
  if (bones < 1 || bones > BonePalette::kMaxBones) return false;
  auto* const palette = reinterpret_cast<uint8_t*>(begin);
  const size_t bytes = bones * boneBytes;
  if (!IsRangeReadable(palette, bytes) || !IsRangeWritable(palette, bytes)) return false;
  span = PaletteSpan{palette, static_cast<uint32_t>(bones)};
  return true;
}

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
  if (restorePending_ && !Restore()) failedRestore_ = true;
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
  reinterpret_cast<UpdateGraphicsForFrameFunction>(updateGraphicsForFrame_)(mesh, frameTime);
  // The host's call may have come back into this interpolator.
  if (!inSync_ || committedMesh_ != mesh) return kHandsPoseNotTarget;
  if (restorePending_) return kHandsPoseAlreadyApplied;

  PaletteSpan span;
  if (!ReadPaletteSpan(mesh, kBoneBytes, span)) return Unavailable();
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
    tickResult_ = AppendTickPalette(span.begin, span.bones, base);
    appendedThisTick_ = true;
    appendedTick_ = lastTick_;
  }
  if (tickResult_ == kHandsPoseInvalid) return kHandsPoseInvalid;
  return Blend(span.begin, span.bones, tickResult_);
}

uint32_t HandsPoseInterpolator::AppendTickPalette(const uint8_t* palette, uint32_t bones,
                                                  uint32_t base) {
  auto* const copy = reinterpret_cast<uint8_t*>(captured_.transforms);
  memcpy(copy, palette, bones * kBoneBytes);
  memset(copy + bones * kBoneBytes, 0, (BonePalette::kMaxBones - bones) * kBoneBytes);
  captured_.boneCount = bones;
  for (uint32_t bone = 0; bone < bones; ++bone) {
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

uint32_t HandsPoseInterpolator::Blend(uint8_t* palette, uint32_t bones, uint32_t base) {
  switch (history_.PairSnapshots(sample_, blended_)) {
    case kPairApplied: break;
    case kPairClockUnavailable:
    case kPairGenerationMismatch: return kHandsPoseClockUnavailable;
    case kPairSnapshotsMissing:
      return base == kHandsPoseIdentityChanged ? kHandsPoseIdentityChanged : kHandsPosePairMissing;
    default: return kHandsPoseInvalid;
  }
  if (blended_.boneCount != bones) {
    appendedThisTick_ = false;
    history_.ClearHistory();
    return kHandsPoseInvalid;
  }
  const size_t bytes = bones * kBoneBytes;
  memcpy(saved_, palette, bytes);
  memcpy(palette, blended_.transforms, bytes);
  appliedPalette_ = palette;
  appliedBones_ = bones;
  restorePending_ = true;
  return kHandsPoseApplied;
}

bool HandsPoseInterpolator::Restore() {
  inSync_ = false;
  if (!restorePending_) return true;
  const size_t bytes = appliedBones_ * kBoneBytes;
  const bool writable = IsRangeWritable(appliedPalette_, bytes);
  if (writable) memcpy(appliedPalette_, saved_, bytes);
  appliedPalette_ = nullptr;
  appliedBones_ = 0;
  restorePending_ = false;
  return writable;
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
  static HandsPoseInterpolator interpolator;
  return interpolator;
}

}  // namespace driftglass
