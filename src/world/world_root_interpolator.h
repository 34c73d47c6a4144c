#pragma once
// The world roots as the detours and the frame sequence see them: the tick side (staging and
// capture) and the frame side (apply, model matrices, restore) over one set of tracked bodies.

#include <cstdint>

#include "timing/clock_sample.h"
#include "world/world_model_result.h"
#include "world/world_render_correction.h"
#include "world/world_root_tracker.h"

namespace driftglass {

class WorldRootInterpolator {
 public:
  explicit WorldRootInterpolator(WorldRootTracker& tracker) : tracker_(tracker) {}

  // Puts back any cache of an open frame, then stores iEntity3D::GetWorldMatrix,
  // iEntity3D::GetEntityParent and cPhysicsBodyNewton::GetEnabled (0 = unresolved) and empties
  // everything.
  void Configure(uintptr_t getWorldMatrix, uintptr_t getEntityParent, uintptr_t getEnabled);
  uint32_t StageProp(void* prop, uint64_t tick, WorldPropInfo& info) {
    return tracker_.StageProp(prop, tick, info);
  }
  uint32_t StageGrunt(void* enemy, uint64_t tick) { return tracker_.StageGrunt(enemy, tick); }
  void NoteMovedBody(void* userData) { tracker_.NoteMovedBody(userData); }
  WorldCaptureCounts Capture(uint64_t tick, uint64_t generation);
  void Forget(void* owner) { tracker_.Forget(owner); }
  WorldApplyCounts Apply(const ClockSample& sample);
  uint32_t ModelMatrix(const void* subMesh, const float* hostMatrix, const float*& result,
                       uint32_t& diagnostic) {
    return correction_.ModelMatrix(subMesh, hostMatrix, result, diagnostic);
  }
  uint32_t Restore() { return correction_.Restore(); }

  WorldRootTracker& tracker() { return tracker_; }

 private:
  WorldRootTracker& tracker_;
  WorldRenderCorrection correction_;
  // Caches put back outside a frame's own Restore; reported with the next Apply.
  uint32_t unreportedRestoreFailures_ = 0;
};

// The process's one instance, over ProcessWorldRootTracker().
WorldRootInterpolator& ProcessWorldRootInterpolator();

}  // namespace driftglass
