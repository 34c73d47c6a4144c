#pragma once

#include <cstdint>

namespace driftglass {

// Outcome of one camera capture, apply or restore.
enum CameraResult : uint32_t {
  kCameraCaptured = 0,
  kCameraApplied = 1,
  kCameraNoScene = 2,
  kCameraNoCurrentListener = 3,
  kCameraListenerHidden = 4,
  kCameraListenerMissingCamera = 5,
  kCameraListenerMissingWorld = 6,
  kCameraInvalidViewport = 7,
  kCameraIdentityChanged = 8,
  kCameraInvalidCamera = 9,
  kCameraClockGenerationReset = 10,
  kCameraNonMonotonicReset = 11,
  kCameraSameTickMutation = 12,
  kCameraDiscontinuityReset = 13,
  kCameraClockUnavailable = 14,
  kCameraSnapshotsMissing = 15,
  kCameraApplyFailed = 16,
};

const wchar_t* CameraResultName(uint32_t result);

}  // namespace driftglass
