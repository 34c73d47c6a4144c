#pragma once
// For the rendered frame only: turns the interpolated camera by the part of the latest turns no
// frame has shown yet plus the counts still pending, and gives the hands the same rotation.

#include <cstdint>

#include "camera/camera_interpolator.h"
#include "input/look_command.h"
#include "input/mouse_state.h"
#include "shared/camera_pose.h"
#include "shared/rigid_transform.h"
#include "timing/clock_sample.h"

namespace driftglass {

struct PreviewRecord {
  int64_t pendingX = 0;
  int64_t pendingY = 0;
  float historyPitch = 0.0f;
  float historyYaw = 0.0f;
  float pendingPitch = 0.0f;
  float pendingYaw = 0.0f;
  bool hasCommand = false;
  bool pendingApplied = false;
  bool pendingSuppressed = false;
  bool rotationApplied = false;
};

// The camera's pose as a host matrix (rotation from pitch, yaw and roll; translation x, y, z).
RigidTransform PoseToMatrix(const CameraPose& pose);

// true: the camera was turned for this render and correction holds the rotation for the hands.
bool ApplyLookPreview(LookState& look, const MouseState& mouse, CameraInterpolator& camera, MouseAudit& audit,
                      const ClockSample& sample, uint64_t tick, RigidTransform& correction, PreviewRecord& record);

}  // namespace driftglass
