#include "input/look_command.h"

#include <cmath>

namespace driftglass {
namespace {

constexpr double kTwoPow63 = 9.223372036854775808e18;
constexpr double kFloatMax = 3.4028234663852886e38;

bool Close(float actual, float expected) {
  return std::fabs(actual - expected) <= std::fmax(0.5f * std::fabs(expected), 1e-5f);
}

}  // namespace

LookState& ProcessLookState() {
  static LookState look;
  return look;
}

int64_t RoundScaled(int64_t count, float sensitivity) {
  const double product = static_cast<double>(count) * static_cast<double>(sensitivity);
  if (!std::isfinite(product)) return 0;
  if (product <= -kTwoPow63) return INT64_MIN;
  if (product >= kTwoPow63) return INT64_MAX;
  return static_cast<int64_t>(std::round(product));  // std::round: halves away from zero
}

bool CountsToAngle(int64_t count, float sensitivity, float scale, float& angle) {
  angle = 0.0f;
  if (!std::isfinite(sensitivity) || !std::isfinite(scale) || !(sensitivity > 0.0f)) return false;
  const double v = static_cast<double>(count) * static_cast<double>(sensitivity) * static_cast<double>(scale);
  if (!std::isfinite(v) || v < -kFloatMax || v > kFloatMax) return false;
  angle = static_cast<float>(v);
  return true;
}

CommandShape ClassifyCommandShape(float pitch, float yaw, float expectedPitch, float expectedYaw) {
  if (!std::isfinite(pitch) || !std::isfinite(yaw) || !std::isfinite(expectedPitch) || !std::isfinite(expectedYaw)) {
    return kShapeNonFinite;
  }
  if (std::fabs(pitch) < 1e-6f && std::fabs(yaw) < 1e-6f && std::fabs(expectedPitch) < 1e-6f &&
      std::fabs(expectedYaw) < 1e-6f) {
    return kShapeNone;
  }
  if (!Close(pitch, expectedPitch) || !Close(yaw, expectedYaw)) return kShapeMismatch;
  return kShapeMatch;
}

void UpdateDirectMode(DirectMode& mode, CommandShape shape) {
  switch (shape) {
    case kShapeNone:
      if (!mode.direct) mode.streak = 0;
      break;
    case kShapeMatch:
      if (mode.direct) {
        mode.streak = 0;
      } else if (++mode.streak >= 12) {
        mode.direct = true;
        mode.streak = 0;
      }
      break;
    default:
      mode.direct = false;
      mode.streak = 0;
      break;
  }
}

void AddCameraRotation(GameplayInputFrame& frame, MouseAudit& audit, const void* camera, float delta, bool pitch) {
  if (!frame.inGameplayInput || !std::isfinite(delta)) return;
  if (frame.camera == nullptr) frame.camera = const_cast<void*>(camera);
  if (frame.camera != camera) {
    audit.invalid.fetch_add(1);  // a second camera in one pass is not this view's turn
    return;
  }
  if (pitch) {
    frame.pitchSum += delta;
    ++frame.pitchCount;
  } else {
    frame.yawSum += delta;
    ++frame.yawCount;
  }
}

void CaptureAngularCommand(LookState& look, const GameplayInputFrame& frame, MouseAudit& audit, uint64_t tick,
                           float sensitivity, bool invertY) {
  const uint64_t t = tick + 1;
  const float pitchSum = frame.pitchSum;
  const float yawSum = frame.yawSum;
  AngularCommand& entry = look.ring[t & 1];
  const bool valid = frame.reads == 1 && frame.camera != nullptr && std::isfinite(pitchSum) && std::isfinite(yawSum);
  if (frame.pitchCount > 1 || frame.yawCount > 1) audit.commandMultiAdd.fetch_add(1);
  if (!valid) {
    entry = AngularCommand{t, frame.camera, pitchSum, yawSum, false, false};
    audit.commandMissing.fetch_add(1);
    return;
  }
  CommandScale& s = look.scale;
  s.commandCamera = frame.camera;
  audit.commandCaptured.fetch_add(1);
  s.capturedInvertY = invertY;
  s.capturedSensitivity = sensitivity;

  const int64_t qx = RoundScaled(frame.lastX, sensitivity);
  const int64_t qy = RoundScaled(frame.lastY, sensitivity);
  // The same basis the player's angle was computed from: exact when dequantized, rounded if not.
  const double xBasis = frame.yawDequantized ? static_cast<double>(frame.lastX) * sensitivity : static_cast<double>(qx);
  const double yBasis = frame.pitchDequantized ? static_cast<double>(frame.lastY) * sensitivity : static_cast<double>(qy);

  bool candidate = false;
  float ratio = 0.0f;
  if (std::fabs(xBasis) >= 1e-6 && std::fabs(yawSum) >= 1e-6f) {
    ratio = yawSum / static_cast<float>(xBasis);
    candidate = std::isfinite(ratio) && ratio >= -0.1f && ratio < -1e-6f;
    if (!candidate) audit.scaleReject.fetch_add(1);
  }
  bool justSet = false;
  if (!s.valid && candidate) {
    s.scale = ratio;
    s.valid = true;
    audit.scaleAccept.fetch_add(1);
    justSet = true;
  }
  if (!s.valid) {
    entry = AngularCommand{t, frame.camera, pitchSum, yawSum, false, true};
    return;
  }
  const double yScale = invertY ? -double{s.scale} : double{s.scale};
  const float expectedYaw = static_cast<float>(double{s.scale} * xBasis);
  const float expectedPitch = static_cast<float>(yScale * yBasis);
  const CommandShape shape = ClassifyCommandShape(pitchSum, yawSum, expectedPitch, expectedYaw);
  const bool wasDirect = look.mode.direct;
  UpdateDirectMode(look.mode, shape);
  const bool isDirect = look.mode.direct;
  if (wasDirect && !isDirect) audit.transitionsToFallback.fetch_add(1);
  if (!wasDirect && isDirect) audit.transitionsToDirect.fetch_add(1);
  switch (shape) {
    case kShapeMatch: audit.commandShapeMatch.fetch_add(1); break;
    case kShapeMismatch: audit.commandShapeMismatch.fetch_add(1); break;
    case kShapeNone: audit.commandShapeNone.fetch_add(1); break;
    default: audit.commandShapeNonFinite.fetch_add(1); break;
  }
  if (candidate && !justSet) {
    if (wasDirect && isDirect && shape == kShapeMatch) {
      s.scale = 0.875f * s.scale + 0.125f * ratio;
      audit.scaleAccept.fetch_add(1);
    } else {
      audit.scaleFrozen.fetch_add(1);
    }
  }
  entry = AngularCommand{t, frame.camera, pitchSum, yawSum, isDirect, true};
}

}  // namespace driftglass
