#include "camera/camera_result.h"

namespace driftglass {

const wchar_t* CameraResultName(uint32_t result) {
  switch (result) {
    case kCameraCaptured: return L"captured";
    case kCameraApplied: return L"applied";
    case kCameraNoScene: return L"no-scene";
    case kCameraNoCurrentListener: return L"no-current-listener";
    case kCameraListenerHidden: return L"listener-hidden";
    case kCameraListenerMissingCamera: return L"listener-missing-camera";
    case kCameraListenerMissingWorld: return L"listener-missing-world";
    case kCameraInvalidViewport: return L"invalid-viewport";
    case kCameraIdentityChanged: return L"identity-changed";
    case kCameraInvalidCamera: return L"invalid-camera";
    case kCameraClockGenerationReset: return L"clock-generation-reset";
    case kCameraNonMonotonicReset: return L"non-monotonic-reset";
    case kCameraSameTickMutation: return L"same-tick-mutation";
    case kCameraDiscontinuityReset: return L"discontinuity-reset";
    case kCameraClockUnavailable: return L"clock-unavailable";
    case kCameraSnapshotsMissing: return L"snapshots-missing";
    case kCameraApplyFailed: return L"apply-failed";
    default: return L"unknown";
  }
}

}  // namespace driftglass
