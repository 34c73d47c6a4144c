#include "camera/camera_counting.h"

#include "camera/camera_result.h"
#include "diag/telemetry_counters.h"

namespace driftglass {

void CountCameraResult(uint32_t result) {
  CameraTelemetry<LiveTelemetrySlots>& c = ProcessTelemetry().camera;
  switch (result) {
    case kCameraCaptured: c.captured.fetch_add(1); break;
    case kCameraApplied: c.applied.fetch_add(1); break;
    case kCameraNoScene: c.noScene.fetch_add(1); break;
    case kCameraNoCurrentListener: c.viewFail.noListener.fetch_add(1); break;
    case kCameraListenerHidden: c.viewFail.hidden.fetch_add(1); break;
    case kCameraListenerMissingCamera: c.viewFail.noCamera.fetch_add(1); break;
    case kCameraListenerMissingWorld: c.viewFail.noWorld.fetch_add(1); break;
    case kCameraInvalidViewport: c.viewFail.invalid.fetch_add(1); break;
    case kCameraIdentityChanged: c.identity.fetch_add(1); break;
    case kCameraInvalidCamera: c.invalid.fetch_add(1); break;
    case kCameraClockGenerationReset: c.genReset.fetch_add(1); break;
    case kCameraNonMonotonicReset: c.nonMono.fetch_add(1); break;
    case kCameraSameTickMutation: c.sameTick.fetch_add(1); break;
    case kCameraDiscontinuityReset: c.jump.fetch_add(1); break;
    case kCameraClockUnavailable: c.clockWait.fetch_add(1); break;
    case kCameraSnapshotsMissing: c.pairMiss.fetch_add(1); break;
    case kCameraApplyFailed: c.applyFail.fetch_add(1); break;
    default: break;
  }
  // Every view failure also counts as a frame or tick without a view.
  if (result >= kCameraNoCurrentListener && result <= kCameraInvalidViewport) c.noView.fetch_add(1);
  c.last.store(CameraResultName(result));
}

void CountCameraRestoreFailure() {
  CameraTelemetry<LiveTelemetrySlots>& c = ProcessTelemetry().camera;
  c.restoreFail.fetch_add(1);
  c.last.store(CameraResultName(kCameraApplyFailed));
}

}  // namespace driftglass
