#pragma once
// Draws Grunt enemies and awake ragdoll props between the last two completed ticks. Up to eight
// meshes keep their own palette histories; each mesh's palette is sampled at the first frame
// after a tick, and each render sees the blend, with the host's bytes put back afterwards.
// Animation logic and events are never re-run.

#include <cstdint>

#include "shared/bone_palette.h"
#include "shared/host_palette.h"
#include "timing/clock_sample.h"
#include "timing/snapshot_history.h"

namespace driftglass {

enum EnemyPoseStageResult : uint32_t {
  kEnemyPoseStagedEnemy = 0,
  kEnemyPoseStagedRagdoll = 1,
  kEnemyPoseIneligible = 2,
  kEnemyPoseInvalid = 3,
  kEnemyPoseCapacityExhausted = 4,
};

// "staged-enemy", "staged-ragdoll", "ineligible", "invalid", "capacity-exhausted", else "unknown".
const wchar_t* EnemyPoseStageResultName(uint32_t result);

// What Apply and Restore report (the EnemyPose( group's names), zero-initialised.
struct EnemyPoseCounts {
  uint32_t targets = 0, visibilitySkip = 0, visibilityUnknown = 0, captured = 0, applied = 0,
           identity = 0, genReset = 0, nonMono = 0, sameTick = 0, boneCount = 0, jump = 0,
           clockWait = 0, pairMiss = 0, invalid = 0, unavailable = 0, restoreFail = 0;
};

class EnemyPoseInterpolator {
 public:
  // Runs Restore, releases every slot, stores cMeshEntity::UpdateGraphicsForFrame (0 = unresolved).
  void Configure(uintptr_t updateGraphicsForFrame);
  // After iLuxEnemy::OnUpdate, with the tick that is about to complete.
  uint32_t StageEnemy(void* enemy, uint64_t tick);
  // From the prop staging, with the prop's identity word and body information.
  uint32_t StageRagdoll(void* prop, void* mesh, uint32_t identityWord, uint32_t bodyCount,
                        bool allAsleep, uint64_t tick);
  // After every completed tick: slots not staged for it are released.
  void Capture(uint64_t tick, uint64_t generation);
  // Before cScene::Render.
  EnemyPoseCounts Apply(const ClockSample& sample, uint64_t currentTick, float frameTime);
  // After the render; only restoreFail is set.
  EnemyPoseCounts Restore();

 private:
  static constexpr uint32_t kSlots = 8;
  enum SlotKind : uint32_t { kKindEnemy = 0, kKindRagdoll = 1 };

  struct Slot {
    bool inUse = false;
    const void* owner = nullptr;
    void* mesh = nullptr;
    uint32_t identityWord = 0;
    uint32_t kind = kKindEnemy;
    bool allAsleep = false;
    BonePaletteHistory history;
    uint64_t stagedTick = 0;
    uint64_t capturedTick = 0;
    bool captured = false;  // a slot staged but not yet captured has no tick to draw
    HostPaletteSpan identity;
    bool appended = false;
    uint64_t appendedTick = 0;
    bool visibilitySeen = false;
    int32_t lastRenderCounter = 0;
    uint32_t countdown = 0;
    SavedHostPalette saved;
  };

  Slot* FindSlot(const void* owner);
  void Release(Slot* slot);
  void ForgetHistory(Slot& slot);
  uint32_t StageSlot(Slot* slot, const void* owner, void* mesh, uint32_t identityWord,
                     uint32_t kind, bool allAsleep, uint64_t tick);
  bool PassesVisibility(Slot& slot, EnemyPoseCounts& counts);
  bool AppendTickPalette(Slot& slot, float frameTime, EnemyPoseCounts& counts);
  void Blend(Slot& slot, const ClockSample& sample, EnemyPoseCounts& counts);

  uintptr_t updateGraphicsForFrame_ = 0;
  Slot slots_[kSlots];
  uint64_t lastTick_ = 0;
  uint64_t lastGeneration_ = 0;
  bool restorePending_ = false;
  bool applying_ = false;
  // Restores that failed where no counts are returned (Capture, a slot released while a blend
  // was still written): reported by the next Apply or Restore.
  uint32_t unreportedRestoreFail_ = 0;

  // Scratch for the tick's copy and the frame's blend: kept here, not on the host's stack.
  BonePalette captured_;
  BonePalette blended_;
};

// The process's one instance (static storage: the class is large).
EnemyPoseInterpolator& ProcessEnemyPoseInterpolator();

}  // namespace driftglass
