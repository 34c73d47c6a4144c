#pragma once

#include <cstdint>
#include <type_traits>

#include "shared/camera_pose.h"

namespace driftglass {

enum MotionTraceFlag : uint32_t {
  kMotionPollValid = 1u << 0,
  kMotionCameraApplied = 1u << 1,
  kMotionAuthPose = 1u << 2,
  kMotionBasePose = 1u << 3,
  kMotionFinalPose = 1u << 4,
  kMotionPreviewHasCommand = 1u << 5,
  kMotionPreviewPendingApplied = 1u << 6,
  kMotionPreviewRotationApplied = 1u << 7,
  kMotionAlphaValid = 1u << 8,
  kMotionCorrectionsOff = 1u << 9,  // the compare key had every drawn correction stand aside
  kMotionSettingsChanged = 1u << 10,  // the first frame after a change of the INI was applied
};

// One rendered frame's camera motion; anything not available this frame stays zero.
struct MotionTraceRecord {
  int64_t qpcCounter = 0;
  uint64_t tickSerial = 0;
  uint64_t olderSerial = 0;
  uint64_t newerSerial = 0;
  double rawAlpha = 0.0;
  double phaseDelayTicks = 0.0;
  double alpha = 0.0;
  CameraPose auth;
  CameraPose base;
  CameraPose final;
  int32_t pollX = 0;
  int32_t pollY = 0;
  int64_t deferredX = 0;
  int64_t deferredY = 0;
  int64_t pendingX = 0;
  int64_t pendingY = 0;
  float historyPitch = 0.0f;
  float historyYaw = 0.0f;
  float pendingPitch = 0.0f;
  float pendingYaw = 0.0f;
  uint32_t flags = 0;
};

static_assert(std::is_trivially_copyable_v<MotionTraceRecord>);

}  // namespace driftglass
