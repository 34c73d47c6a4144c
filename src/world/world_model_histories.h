#pragma once
// Sub-meshes of multi-body props whose body the render side cannot name keep their own matrix
// history. The interpolated result and the saved cache bytes belong to the render side, which
// writes the sub-mesh's world-matrix cache for one frame and puts it back afterwards.

#include <cstdint>
#include <span>

#include "shared/rigid_transform.h"
#include "timing/snapshot_history.h"
#include "world/world_index.h"

namespace driftglass {

// Aligned, flags first: every frame looks at all 512 and most are not in use.
struct alignas(64) ModelHistory {
  const void* subMesh = nullptr;
  const void* ownerMesh = nullptr;
  bool inUse = false;
  bool cacheApplied = false;
  bool movingReady = false;
  float* cache = nullptr;
  uint64_t lastCapturedTick = 0;
  RigidTransformHistory history;  // appended with AppendMovingTransform
  RigidTransform interpolated = {};
  RigidTransform savedCache = {};
};

class WorldModelHistories {
 public:
  static constexpr uint32_t kCapacity = 512;

  void Clear();
  ModelHistory* Find(const void* subMesh);
  const ModelHistory* Find(const void* subMesh) const;
  // The sub-mesh's history (restarted when its owner mesh changed), else a free one, else the
  // one captured longest ago; nullptr when all were captured at tick. A history whose cache is
  // written for a frame is never taken: its saved bytes are the only copy.
  ModelHistory* Take(const void* subMesh, const void* ownerMesh, uint64_t tick);

  std::span<ModelHistory> entries() { return entries_; }
  std::span<const ModelHistory> entries() const { return entries_; }
  uint32_t InUse() const;

  const WorldIndex<const void*>& index() const { return index_; }

 private:
  uint32_t Position(const void* subMesh) const;

  ModelHistory entries_[kCapacity];
  WorldIndex<const void*> index_;
};

}  // namespace driftglass
