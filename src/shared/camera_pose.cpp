#include "shared/camera_pose.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "shared/snapshot_limits.h"

namespace driftglass {
namespace {

constexpr double kPoleCosine = 1e-5;
constexpr double kHalfPi = 1.5707963267948966;

// Rotation by angle about a unit axis, half angle formed as a float, sine and cosine in double.
Quaternion AxisRotation(float angle, float ax, float ay, float az) {
  const float half = angle * 0.5f;
  const float c = static_cast<float>(std::cos(static_cast<double>(half)));
  const float s = static_cast<float>(std::sin(static_cast<double>(half)));
  return Quaternion{c, s * ax, s * ay, s * az};
}

Quaternion PoseQuaternion(const CameraPose& pose) {
  return AnglesToQuaternion(pose.pitch, pose.yaw, pose.roll);
}

}  // namespace

bool IsFiniteCameraPose(const CameraPose& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
         std::isfinite(p.pitch) && std::isfinite(p.yaw) && std::isfinite(p.roll);
}

Quaternion AnglesToQuaternion(float pitch, float yaw, float roll) {
  const Quaternion qy = AxisRotation(yaw, 0.0f, 1.0f, 0.0f);
  const Quaternion qx = AxisRotation(pitch, 1.0f, 0.0f, 0.0f);
  const Quaternion qz = AxisRotation(roll, 0.0f, 0.0f, 1.0f);
  return NormalizeQuaternion(MultiplyQuaternions(MultiplyQuaternions(qy, qx), qz));
}

void QuaternionToAngles(const Quaternion& rotation, float& pitch, float& yaw, float& roll) {
  const Quaternion q = NormalizeQuaternion(rotation);
  // Double keeps the products accurate near the poles, where asin is steep.
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  double sinPitch = -2.0 * (y * z - w * x);
  if (sinPitch > 1.0) sinPitch = 1.0;
  if (sinPitch < -1.0) sinPitch = -1.0;
  pitch = static_cast<float>(std::asin(sinPitch));
  // |cos pitch| from the roll column rather than cos(asin(...)): asin is so steep near ±1 that
  // float rounding in q would put a nearly vertical view on the general branch, whose atan2
  // arguments there are pure rounding noise, and scramble yaw by tenths of a radian.
  const double rollSine = 2.0 * (w * z + x * y);
  const double rollCosine = 1.0 - 2.0 * (x * x + z * z);
  if (std::sqrt(rollSine * rollSine + rollCosine * rollCosine) > kPoleCosine) {
    yaw = static_cast<float>(std::atan2(2.0 * (w * y + x * z), 1.0 - 2.0 * (x * x + y * y)));
    roll = static_cast<float>(std::atan2(rollSine, rollCosine));
  } else {
    roll = 0.0f;
    yaw = static_cast<float>(std::atan2(2.0 * (w * y - x * z), 1.0 - 2.0 * (y * y + z * z)));
  }
}

bool BlendCameraPoses(const CameraPose& older, const CameraPose& newer, double alpha,
                      CameraPose& out) {
  PreparedCameraBlend prepared;
  return PrepareCameraBlend(older, newer, prepared) &&
         BlendPreparedCameraPoses(prepared, older, newer, alpha, out);
}

bool PrepareCameraBlend(const CameraPose& older, const CameraPose& newer, PreparedCameraBlend& out) {
  if (!IsFiniteCameraPose(older) || !IsFiniteCameraPose(newer)) return false;
  out.unturned = older.pitch == newer.pitch && older.yaw == newer.yaw && older.roll == newer.roll &&
                 std::fabs(static_cast<double>(newer.pitch)) < kHalfPi;
  // Through quaternions so that a turn across ±π takes the short way round.
  if (!out.unturned) out.rotation = PrepareSlerp(PoseQuaternion(older), PoseQuaternion(newer));
  return true;
}

bool BlendPreparedCameraPoses(const PreparedCameraBlend& prepared, const CameraPose& older,
                              const CameraPose& newer, double alpha, CameraPose& out) {
  if (!std::isfinite(alpha) || alpha < 0.0 || alpha > 1.0) return false;
  const float t = static_cast<float>(alpha);

  CameraPose blended;
  blended.x = older.x + (newer.x - older.x) * t;
  blended.y = older.y + (newer.y - older.y) * t;
  blended.z = older.z + (newer.z - older.z) * t;
  if (prepared.unturned) {
    // A view that did not turn is drawn with the game's own angles (in the ranges the round trip
    // gives): the round trip through a float quaternion is a few units in the last place off,
    // near the poles up to 1e-6 rad.
    blended.pitch = newer.pitch;
    blended.yaw = static_cast<float>(std::remainder(static_cast<double>(newer.yaw), 4.0 * kHalfPi));
    blended.roll = static_cast<float>(std::remainder(static_cast<double>(newer.roll), 4.0 * kHalfPi));
  } else {
    QuaternionToAngles(SlerpAlong(prepared.rotation, t), blended.pitch, blended.yaw, blended.roll);
    // Between two views at the pitch limit that roll and turn, the arc bulges past the limit and
    // the round trip rounds past it (up to 2e-5 rad). The pose is written past the engine's
    // setters, which would hold the limit, so the blend keeps to the pitches its ticks span.
    if (std::fabs(older.pitch) < kHalfPi && std::fabs(newer.pitch) < kHalfPi) {
      blended.pitch = std::clamp(blended.pitch, std::min(older.pitch, newer.pitch),
                                 std::max(older.pitch, newer.pitch));
    }
  }
  if (!IsFiniteCameraPose(blended)) return false;
  out = blended;
  return true;
}

float RotationAngleBetween(const CameraPose& a, const CameraPose& b) {
  if (!IsFiniteCameraPose(a) || !IsFiniteCameraPose(b)) {
    return std::numeric_limits<float>::quiet_NaN();
  }
  return AngleBetweenQuaternions(PoseQuaternion(a), PoseQuaternion(b));
}

bool SameCameraPose(const CameraPose& a, const CameraPose& b) {
  return WithinTolerance(a.x, b.x, kSnapshotMatchTolerance) &&
         WithinTolerance(a.y, b.y, kSnapshotMatchTolerance) &&
         WithinTolerance(a.z, b.z, kSnapshotMatchTolerance) &&
         WithinTolerance(a.pitch, b.pitch, kSnapshotMatchTolerance) &&
         WithinTolerance(a.yaw, b.yaw, kSnapshotMatchTolerance) &&
         WithinTolerance(a.roll, b.roll, kSnapshotMatchTolerance);
}

bool IsCameraPoseJump(const CameraPose& previous, const CameraPose& next, float tickDelta) {
  const float dx = next.x - previous.x;
  const float dy = next.y - previous.y;
  const float dz = next.z - previous.z;
  const float distanceLimit = kTeleportDistancePerTick * tickDelta;
  // Written as "not within" so that NaN counts as a jump.
  if (!(dx * dx + dy * dy + dz * dz <= distanceLimit * distanceLimit)) return true;
  return !(RotationAngleBetween(previous, next) <= kTeleportAnglePerTick * tickDelta);
}

}  // namespace driftglass
