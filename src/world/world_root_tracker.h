#pragma once
// Finds the bodies the host moves at the fixed tick (dynamic props, Grunts, physics bodies no
// prop owns) and records each one's world matrix at every completed tick, so the render side
// can place them between ticks. Physics and the host's transform trees are only read.

#include <cstdint>

#include "world/moved_body_queue.h"
#include "world/world_body_table.h"
#include "world/world_index.h"
#include "world/world_model_histories.h"
#include "world/world_sleep_cache.h"

namespace driftglass {

enum WorldStageResult : uint32_t {
  kWorldStagedProp = 0,
  kWorldStagedGrunt = 1,
  kWorldCachedSleepingProp = 2,
  kWorldIneligible = 3,
  kWorldInvalid = 4,
  kWorldCapacity = 5,
};

// "staged-prop", "staged-grunt", "cached-sleeping-prop", "ineligible", "invalid", "capacity",
// else "unknown".
const wchar_t* WorldStageResultName(uint32_t result);

// What a prop staging learnt; the ragdoll staging builds on it.
struct WorldPropInfo {
  void* mesh = nullptr;
  uint32_t ownerWord = 0;
  uint32_t bodyCount = 0;
  bool allAsleep = false;
  bool valid = false;
};

// A body that turns more than this in one tick was placed, not moved; the capture compares the
// alignment |q·r| of its rotations (the angle is 2·acos of it), below which the turn is larger,
// exactly as acosf rounds every float in [0, 1].
constexpr float kWorldJumpAngle = 0.7853982f;        // π/4
constexpr float kWorldJumpAlignment = 0.923879564f;  // bits 0x3F6C835F

struct WorldCaptureCounts {
  uint32_t captured = 0, resets = 0, invalid = 0, sleeping = 0;
  uint32_t moved = 0, movedMatched = 0, movedStandalone = 0, movedOverflow = 0, movedSkipped = 0;
  uint32_t modelCandidates = 0, modelCaptured = 0, modelInvalid = 0, modelCapacity = 0;
};

class WorldRootTracker {
 public:
  static constexpr uint32_t kMaxModelMeshesPerTick = 512;

  // Stores iEntity3D::GetWorldMatrix, iEntity3D::GetEntityParent and
  // cPhysicsBodyNewton::GetEnabled (0 = unresolved) and empties every table and the queue.
  void Configure(uintptr_t getWorldMatrix, uintptr_t getEntityParent, uintptr_t getEnabled);
  uint32_t StageProp(void* prop, uint64_t tick, WorldPropInfo& info);  // WorldStageResult
  uint32_t StageGrunt(void* enemy, uint64_t tick);                     // WorldStageResult
  // From the transform callback, on any thread; lock-free.
  void NoteMovedBody(void* userData) { moved_.Note(userData); }
  WorldCaptureCounts Capture(uint64_t tick, uint64_t generation);
  // Drops every entry of owner and its sleep-cache entry.
  void Forget(void* owner);

  WorldBodyTable& bodies() { return bodies_; }
  const WorldBodyTable& bodies() const { return bodies_; }
  WorldModelHistories& modelHistories() { return models_; }
  const WorldModelHistories& modelHistories() const { return models_; }
  const WorldSleepCache& sleepCache() const { return sleep_; }
  uintptr_t getWorldMatrix() const { return getWorldMatrix_; }
  uintptr_t getEntityParent() const { return getEntityParent_; }

 private:
  void CaptureMovedBodies(uint64_t tick, WorldCaptureCounts& counts);
  void CaptureEntry(WorldBodyEntry& entry, uint64_t tick, uint64_t generation,
                    WorldCaptureCounts& counts);
  void CaptureModelMesh(const void* mesh, uint64_t tick, uint64_t generation, uint32_t& meshCount,
                        WorldCaptureCounts& counts);
  void CaptureSubMeshes(const void* mesh, uint64_t tick, uint64_t generation,
                        WorldCaptureCounts& counts);

  uintptr_t getWorldMatrix_ = 0;
  uintptr_t getEntityParent_ = 0;
  uintptr_t getEnabled_ = 0;

  WorldBodyTable bodies_;
  WorldSleepCache sleep_;
  WorldModelHistories models_;
  MovedBodyQueue moved_;

  // Capture's scratch: the drained queue and the distinct meshes of one tick.
  void* drained_[MovedBodyQueue::kCapacity] = {};
  const void* tickMeshes_[kMaxModelMeshesPerTick] = {};
  WorldIndex<const void*> tickMeshIndex_;
};

// The process's one instance.
WorldRootTracker& ProcessWorldRootTracker();

}  // namespace driftglass
