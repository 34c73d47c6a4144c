#pragma once

#include "shared/quaternion.h"

namespace driftglass {

// The main camera's state as the engine keeps it: position, then angles in radians.
struct CameraPose {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float pitch = 0.0f;
  float yaw = 0.0f;
  float roll = 0.0f;
};

bool IsFiniteCameraPose(const CameraPose& pose);

// Qy(yaw)·Qx(pitch)·Qz(roll), normalised.
Quaternion AnglesToQuaternion(float pitch, float yaw, float roll);

// Inverse of AnglesToQuaternion, in the principal ranges of asin and atan2; roll is 0 at the
// poles (|cos pitch| ≤ 1e-5), where only yaw and roll together are defined.
void QuaternionToAngles(const Quaternion& q, float& pitch, float& yaw, float& roll);

// Linear position and short-arc orientation blend at alpha in [0, 1] (used as a float); the
// pitch stays within the two poses' pitches when both lie within ±π/2.
// Fails on non-finite input or output; out is written only on success.
bool BlendCameraPoses(const CameraPose& older, const CameraPose& newer, double alpha,
                      CameraPose& out);

// The orientation half of that blend, worked out once per tick: the arc between the two ticks'
// rotations, or that the view did not turn. BlendPreparedCameraPoses gives exactly
// BlendCameraPoses' result for the same two poses.
struct PreparedCameraBlend {
  SlerpArc rotation;
  bool unturned = false;
};
// False, and out untouched, unless both poses are finite.
bool PrepareCameraBlend(const CameraPose& older, const CameraPose& newer, PreparedCameraBlend& out);
bool BlendPreparedCameraPoses(const PreparedCameraBlend& prepared, const CameraPose& older,
                              const CameraPose& newer, double alpha, CameraPose& out);

// Angle in radians between the two orientations; NaN if either pose is not finite.
float RotationAngleBetween(const CameraPose& a, const CameraPose& b);

// Every float within 1e-5.
bool SameCameraPose(const CameraPose& a, const CameraPose& b);

// More than 5 units of travel or 2π/3 of turn per tick over tickDelta ticks.
bool IsCameraPoseJump(const CameraPose& previous, const CameraPose& next, float tickDelta);

}  // namespace driftglass
