#include "input/look_preview.h"

#include <cmath>

namespace driftglass {
namespace {

float Sin(float angle) { return static_cast<float>(std::sin(static_cast<double>(angle))); }
float Cos(float angle) { return static_cast<float>(std::cos(static_cast<double>(angle))); }

}  // namespace

RigidTransform PoseToMatrix(const CameraPose& pose) {
  const float sp = Sin(pose.pitch), cp = Cos(pose.pitch);
  const float sy = Sin(pose.yaw), cy = Cos(pose.yaw);
  const float sr = Sin(pose.roll), cr = Cos(pose.roll);
  return RigidTransform{{
      sy * sp * sr + cr * cy, sy * sp * cr - sr * cy, sy * cp, pose.x,
      sr * cp, cr * cp, -sp, pose.y,
      cy * sp * sr - cr * sy, cy * sp * cr + sr * sy, cy * cp, pose.z,
      0.0f, 0.0f, 0.0f, 1.0f,
  }};
}

bool ApplyLookPreview(LookState& look, const MouseState& mouse, CameraInterpolator& camera, MouseAudit& audit,
                      const ClockSample& sample, uint64_t tick, RigidTransform& correction, PreviewRecord& record) {
  correction = IdentityTransform();
  record = PreviewRecord{};
  record.pendingX = mouse.tickPending.x.load();
  record.pendingY = mouse.tickPending.y.load();
  if (!mouse.mouseOverlay || !mouse.gameplayLive.load()) return false;

  const void* applied = camera.appliedCamera();
  const uint64_t current = sample.currentTick;
  if (!camera.applied() || applied == nullptr || applied != look.scale.commandCamera || current == 0 ||
      tick < current || tick - current > 1) {
    audit.previewNoCommand.fetch_add(1);
    return false;
  }
  // The older tick's turn is shown in part (1 − alpha of it is still to come); the newer not at all.
  float historyPitch = 0.0f, historyYaw = 0.0f;
  bool direct = false;
  for (uint64_t t = current; t <= tick; ++t) {
    const AngularCommand& entry = look.ring[t & 1];
    if (!entry.valid || entry.tick != t || entry.camera != applied) {
      audit.previewNoCommand.fetch_add(1);
      return false;
    }
    const float w = t == current ? static_cast<float>(1.0 - sample.alpha) : 1.0f;
    historyPitch += w * entry.pitch;
    historyYaw += w * entry.yaw;
    direct = entry.direct;
  }
  record.historyPitch = historyPitch;
  record.historyYaw = historyYaw;
  record.hasCommand = true;
  const bool pending = record.pendingX != 0 || record.pendingY != 0;
  if (!direct) {
    audit.previewTransformedBypass.fetch_add(1);
    if (pending) {
      record.pendingSuppressed = true;
      audit.previewPendingSuppressed.fetch_add(1);
    }
    return false;
  }
  float pitchTotal = historyPitch;
  float yawTotal = historyYaw;
  if (pending) {
    const CommandScale& s = look.scale;
    const float pitchScale = s.capturedInvertY ? -s.scale : s.scale;
    if (s.valid && CountsToAngle(record.pendingX, s.capturedSensitivity, s.scale, record.pendingYaw) &&
        CountsToAngle(record.pendingY, s.capturedSensitivity, pitchScale, record.pendingPitch)) {
      record.pendingApplied = true;
      yawTotal += record.pendingYaw;
      pitchTotal += record.pendingPitch;
      audit.previewPendingXY.Add(record.pendingX, record.pendingY);
    } else {
      record.pendingYaw = record.pendingPitch = 0.0f;
      audit.previewNoScale.fetch_add(1);
    }
  }
  if (std::fabs(pitchTotal) < 1e-7f && std::fabs(yawTotal) < 1e-7f) return false;
  CameraPose before, after;
  if (!camera.ApplyLookOffset(pitchTotal, yawTotal, &before, &after)) {
    audit.previewApplyFail.fetch_add(1);
    return false;
  }
  RigidTransform inverse, product;
  const RigidTransform beforeMatrix = PoseToMatrix(before);
  const RigidTransform afterMatrix = PoseToMatrix(after);
  if (!IsValidRigidTransform(afterMatrix) || !InvertRigidTransform(beforeMatrix, inverse) ||
      !MultiplyTransforms(afterMatrix, inverse, product) || !IsValidRigidTransform(product)) {
    // The hands cannot turn with the view, so the view does not turn either.
    audit.handsCorrectionFail.fetch_add(1);
    if (!camera.UndoLookOffset(before)) audit.previewApplyFail.fetch_add(1);
    return false;
  }
  record.rotationApplied = true;
  audit.previewApplied.fetch_add(1);
  if (std::fabs(after.yaw - before.yaw) > 3.1415927f) audit.previewYawRebased.fetch_add(1);
  correction = product;
  audit.handsCorrectionBuilt.fetch_add(1);
  return true;
}

}  // namespace driftglass
