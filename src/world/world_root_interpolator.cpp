#include "world/world_root_interpolator.h"

namespace driftglass {

void WorldRootInterpolator::Configure(uintptr_t getWorldMatrix, uintptr_t getEntityParent,
                                      uintptr_t getEnabled) {
  // The saved cache bytes live in the tracker's histories, which configuring empties.
  unreportedRestoreFailures_ += correction_.Restore();
  tracker_.Configure(getWorldMatrix, getEntityParent, getEnabled);
  correction_.Reset();
}

WorldCaptureCounts WorldRootInterpolator::Capture(uint64_t tick, uint64_t generation) {
  // A frame left open would have the tick read our interpolated caches as the host's own.
  if (correction_.renderReady()) unreportedRestoreFailures_ += correction_.Restore();
  return tracker_.Capture(tick, generation);
}

WorldApplyCounts WorldRootInterpolator::Apply(const ClockSample& sample) {
  WorldApplyCounts counts = correction_.Apply(sample, tracker_);
  counts.modelRestoreFail += unreportedRestoreFailures_;
  unreportedRestoreFailures_ = 0;
  return counts;
}

WorldRootInterpolator& ProcessWorldRootInterpolator() {
  static WorldRootInterpolator interpolator(ProcessWorldRootTracker());
  return interpolator;
}

}  // namespace driftglass
