#include "poses/enemy_pose_interpolator.h"

#include <iterator>

#include "host/guarded_memory.h"
#include "host/hook_slots.h"
#include "measure/stage_meter.h"

namespace driftglass {
namespace {

constexpr uintptr_t kEnemyIdentity = 0x40;
constexpr uintptr_t kEnemyMesh = 0x54C;
constexpr uintptr_t kEnemyKind = 0x82C;
constexpr uint32_t kGruntKind = 0;
constexpr uintptr_t kMeshActive = 0x24;
constexpr uintptr_t kMeshSubMeshes = 0x30C;  // begin, end
constexpr uintptr_t kSubMeshRenderCounter = 0x344;
constexpr uint32_t kMaxSubMeshes = 128;
constexpr uint32_t kMinRagdollBodies = 2;
constexpr uint32_t kMaxRagdollBodies = 32;
constexpr uint32_t kVisibilityFrames = 2;

using UpdateGraphicsForFrameFunction = void(DRIFTGLASS_THISCALL*)(void* mesh, float frameTime);

// 0 or 1; anything else, or an unreadable flag, is not a mesh we may touch.
bool ReadActiveFlag(const void* mesh, uint8_t& active) {
  return ReadHostValue(mesh, kMeshActive, active) && active <= 1;
}

// The largest render counter over the mesh's sub-meshes (1 to 128, none null).
bool ReadLargestRenderCounter(const void* mesh, int32_t& largest) {
  uintptr_t range[2];
  if (!ReadHostValue(mesh, kMeshSubMeshes, range)) return false;
  const uintptr_t begin = range[0], end = range[1];
  if (begin == 0 || end <= begin || (end - begin) % sizeof(void*) != 0) return false;
  const uintptr_t count = (end - begin) / sizeof(void*);
  if (count > kMaxSubMeshes || !IsRangeReadable(reinterpret_cast<const void*>(begin), end - begin)) {
    return false;
  }
  const auto* const subMeshes = reinterpret_cast<void* const*>(begin);
  for (uintptr_t i = 0; i < count; ++i) {
    int32_t counter = 0;
    if (subMeshes[i] == nullptr || !ReadHostValue(subMeshes[i], kSubMeshRenderCounter, counter)) {
      return false;
    }
    if (i == 0 || counter > largest) largest = counter;
  }
  return true;
}

}  // namespace

const wchar_t* EnemyPoseStageResultName(uint32_t result) {
  switch (result) {
    case kEnemyPoseStagedEnemy: return L"staged-enemy";
    case kEnemyPoseStagedRagdoll: return L"staged-ragdoll";
    case kEnemyPoseIneligible: return L"ineligible";
    case kEnemyPoseInvalid: return L"invalid";
    case kEnemyPoseCapacityExhausted: return L"capacity-exhausted";
    default: return L"unknown";
  }
}

void EnemyPoseInterpolator::Configure(uintptr_t updateGraphicsForFrame) {
  const uint32_t failed = Restore().restoreFail;
  for (Slot& slot : slots_) Release(&slot);
  unreportedRestoreFail_ += failed;  // still owed to the next report
  lastTick_ = 0;
  lastGeneration_ = 0;
  updateGraphicsForFrame_ = updateGraphicsForFrame;
}

EnemyPoseInterpolator::Slot* EnemyPoseInterpolator::FindSlot(const void* owner) {
  for (Slot& slot : slots_) {
    if (slot.inUse && slot.owner == owner) return &slot;
  }
  return nullptr;
}

// The palette history and everything that vouches for it.
void EnemyPoseInterpolator::ForgetHistory(Slot& slot) {
  slot.history.ClearHistory();
  slot.appended = false;
}

void EnemyPoseInterpolator::Release(Slot* slot) {
  if (slot == nullptr) return;
  // Staging runs outside the render, but a blend left written must never outlive its slot.
  if (!slot->saved.Restore()) ++unreportedRestoreFail_;
  slot->history.ClearHistory();
  slot->inUse = false;
  slot->owner = nullptr;
  slot->mesh = nullptr;
  slot->identityWord = 0;
  slot->kind = kKindEnemy;
  slot->allAsleep = false;
  slot->stagedTick = 0;
  slot->capturedTick = 0;
  slot->captured = false;
  slot->identity = HostPaletteSpan{};
  slot->appended = false;
  slot->appendedTick = 0;
  slot->visibilitySeen = false;
  slot->lastRenderCounter = 0;
  slot->countdown = 0;
}

uint32_t EnemyPoseInterpolator::StageSlot(Slot* slot, const void* owner, void* mesh,
                                          uint32_t identityWord, uint32_t kind, bool allAsleep,
                                          uint64_t tick) {
  if (slot == nullptr) {
    for (Slot& free : slots_) {
      if (!free.inUse) {
        slot = &free;
        break;
      }
    }
    if (slot == nullptr) return kEnemyPoseCapacityExhausted;
    Release(slot);
    slot->inUse = true;
    slot->owner = owner;
  } else if (slot->mesh != mesh || slot->identityWord != identityWord || slot->kind != kind) {
    ForgetHistory(*slot);
    slot->identity = HostPaletteSpan{};
    slot->visibilitySeen = false;
    slot->lastRenderCounter = 0;
    slot->countdown = 0;
  }
  slot->mesh = mesh;
  slot->identityWord = identityWord;
  slot->kind = kind;
  slot->stagedTick = tick;
  slot->allAsleep = allAsleep;
  return kind == kKindEnemy ? kEnemyPoseStagedEnemy : kEnemyPoseStagedRagdoll;
}

uint32_t EnemyPoseInterpolator::StageEnemy(void* enemy, uint64_t tick) {
  uint32_t kind = 0;
  if (!ReadHostValue(enemy, kEnemyKind, kind)) return kEnemyPoseInvalid;
  Slot* const slot = FindSlot(enemy);
  if (kind != kGruntKind) {
    Release(slot);
    return kEnemyPoseIneligible;
  }
  uint32_t identityWord = 0;
  void* mesh = nullptr;
  uint8_t active = 0;
  if (!ReadHostValue(enemy, kEnemyIdentity, identityWord) ||
      !ReadHostValue(enemy, kEnemyMesh, mesh) || !ReadActiveFlag(mesh, active)) {
    Release(slot);
    return kEnemyPoseInvalid;
  }
  if (active == 0) {
    Release(slot);
    return kEnemyPoseIneligible;
  }
  return StageSlot(slot, enemy, mesh, identityWord, kKindEnemy, false, tick);
}

uint32_t EnemyPoseInterpolator::StageRagdoll(void* prop, void* mesh, uint32_t identityWord,
                                             uint32_t bodyCount, bool allAsleep, uint64_t tick) {
  if (prop == nullptr || mesh == nullptr) return kEnemyPoseInvalid;
  Slot* const slot = FindSlot(prop);
  if (bodyCount < kMinRagdollBodies || bodyCount > kMaxRagdollBodies) {
    Release(slot);
    return kEnemyPoseIneligible;
  }
  // An awake slot is staged once more so the resting pose itself is completed.
  if (allAsleep && (slot == nullptr || slot->allAsleep)) {
    Release(slot);
    return kEnemyPoseIneligible;
  }
  uint8_t active = 0;
  if (!ReadActiveFlag(mesh, active)) {
    Release(slot);
    return kEnemyPoseInvalid;
  }
  if (active == 0) {
    Release(slot);
    return kEnemyPoseIneligible;
  }
  const bool sameTarget = slot != nullptr && slot->mesh == mesh &&
                          slot->identityWord == identityWord && slot->kind == kKindRagdoll;
  HostPaletteSpan span;
  if (!sameTarget && !ReadHostPalette(mesh, span)) {
    Release(slot);
    return kEnemyPoseIneligible;
  }
  return StageSlot(slot, prop, mesh, identityWord, kKindRagdoll, allAsleep, tick);
}

void EnemyPoseInterpolator::Capture(uint64_t tick, uint64_t generation) {
  if (restorePending_) unreportedRestoreFail_ = Restore().restoreFail;
  lastTick_ = tick;
  lastGeneration_ = generation;
  for (Slot& slot : slots_) {
    if (!slot.inUse) continue;
    if (slot.stagedTick != tick) {
      Release(&slot);
    } else {
      slot.capturedTick = tick;
      slot.captured = true;
    }
  }
}

EnemyPoseCounts EnemyPoseInterpolator::Apply(const ClockSample& sample, uint64_t currentTick,
                                             float frameTime) {
  EnemyPoseCounts counts;
  // The host's palette call may come back here; the outer frame owns the slots meanwhile.
  if (applying_) return counts;
  counts.restoreFail = Restore().restoreFail;
  if (updateGraphicsForFrame_ == 0 || currentTick != lastTick_) return counts;

  applying_ = true;
  restorePending_ = true;
  for (Slot& slot : slots_) {
    if (!slot.inUse || !slot.captured || slot.capturedTick != lastTick_) continue;
    if (slot.kind == kKindRagdoll && !PassesVisibility(slot, counts)) continue;
    ++counts.targets;
    if (!AppendTickPalette(slot, frameTime, counts)) continue;
    Blend(slot, sample, counts);
  }
  applying_ = false;
  return counts;
}

// A ragdoll whose sub-meshes stop being drawn is skipped from its third unchanged frame on.
bool EnemyPoseInterpolator::PassesVisibility(Slot& slot, EnemyPoseCounts& counts) {
  int32_t counter = 0;
  if (!ReadLargestRenderCounter(slot.mesh, counter)) {
    ++counts.visibilityUnknown;
    return true;
  }
  if (!slot.visibilitySeen) {
    slot.visibilitySeen = true;
    slot.lastRenderCounter = counter;
    if (counter < 0) {
      ++counts.visibilitySkip;
      return false;
    }
    slot.countdown = kVisibilityFrames;
    return true;
  }
  if (counter != slot.lastRenderCounter) {
    slot.lastRenderCounter = counter;
    slot.countdown = kVisibilityFrames;
    return true;
  }
  if (slot.countdown == 0) {
    ++counts.visibilitySkip;
    return false;
  }
  --slot.countdown;
  return true;
}

// True when the slot has a sound palette for the last captured tick to blend over.
bool EnemyPoseInterpolator::AppendTickPalette(Slot& slot, float frameTime,
                                              EnemyPoseCounts& counts) {
  if (slot.appended && slot.appendedTick == lastTick_) {
    // The mesh may have moved its palette since the tick's first frame: write only where it is.
    HostPaletteSpan now;
    if (ReadHostPalette(slot.mesh, now) && now.begin == slot.identity.begin && now.bones == slot.identity.bones) {
      return true;
    }
    ForgetHistory(slot);
    ++counts.unavailable;
    return false;
  }
  // Staged a tick ago: the mesh must still look like one before the host is called on it.
  uint8_t active = 0;
  const bool meshSound = ReadActiveFlag(slot.mesh, active);
  if (meshSound) {
    HostCallScope call;
    reinterpret_cast<UpdateGraphicsForFrameFunction>(updateGraphicsForFrame_)(slot.mesh,
                                                                             frameTime);
  }
  HostPaletteSpan span;
  if (!meshSound || !ReadHostPalette(slot.mesh, span)) {
    ForgetHistory(slot);
    ++counts.unavailable;
    return false;
  }
  if (span.begin != slot.identity.begin || span.bones != slot.identity.bones) {
    ForgetHistory(slot);
    slot.identity = span;
    ++counts.identity;
  }
  CopyHostPalette(span, captured_);
  const uint32_t result = slot.history.AppendSnapshot(lastTick_, lastGeneration_, captured_);
  slot.appended = true;
  slot.appendedTick = lastTick_;
  switch (result) {
    case kPaletteAppendInvalid: ++counts.invalid; return false;
    case kPaletteAppendGeneration: ++counts.genReset; break;
    case kPaletteAppendNonMonotonic: ++counts.nonMono; break;
    case kPaletteAppendSameTickMutation: ++counts.sameTick; break;
    case kPaletteAppendBoneCount: ++counts.boneCount; break;
    case kPaletteAppendDiscontinuity: ++counts.jump; break;
    default: break;
  }
  ++counts.captured;
  return true;
}

void EnemyPoseInterpolator::Blend(Slot& slot, const ClockSample& sample,
                                  EnemyPoseCounts& counts) {
  switch (slot.history.PairSnapshots(sample, blended_)) {
    case kPairApplied: break;
    case kPairClockUnavailable:
    case kPairGenerationMismatch: ++counts.clockWait; return;
    case kPairSnapshotsMissing: ++counts.pairMiss; return;
    default: ++counts.invalid; return;
  }
  if (blended_.boneCount != slot.identity.bones) {
    ForgetHistory(slot);
    ++counts.invalid;
    return;
  }
  slot.saved.SaveAndWrite(slot.identity, blended_);
  ++counts.applied;
}

EnemyPoseCounts EnemyPoseInterpolator::Restore() {
  EnemyPoseCounts counts;
  if (applying_) return counts;  // the outer frame restores after its render
  restorePending_ = false;
  counts.restoreFail = unreportedRestoreFail_;
  unreportedRestoreFail_ = 0;
  // Newest write first, so two slots over one range end with the host's own bytes.
  for (auto slot = std::rbegin(slots_); slot != std::rend(slots_); ++slot) {
    if (slot->saved.Restore()) continue;
    ForgetHistory(*slot);
    ++counts.restoreFail;
  }
  return counts;
}

EnemyPoseInterpolator& ProcessEnemyPoseInterpolator() {
  static EnemyPoseInterpolator interpolator;
  return interpolator;
}

}  // namespace driftglass
