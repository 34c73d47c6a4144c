#include "input/player_dequantize.h"

#include <cmath>

#include "input/look_command.h"

namespace driftglass {

LearnedUnit& ProcessLearnedUnit() {
  static LearnedUnit learned;
  return learned;
}

bool DequantizePlayerAngle(const GameplayInputFrame& frame, LearnedUnit& learned, MouseAudit& audit, float angle,
                           int32_t count, bool isPitch, float& replaced) {
  replaced = angle;
  if (!frame.inGameplayInput || !frame.previewEligible || frame.reads != 1 || count == 0 || !std::isfinite(angle)) {
    return false;
  }
  const int64_t q = RoundScaled(count, frame.sensitivity);
  if (q == 0) return false;
  // The game turns against the count's sign, except pitch with inverted Y.
  const bool negate = !isPitch || !frame.invertY;
  const float signedUnit = angle / static_cast<float>(q);
  const float u = negate ? -signedUnit : signedUnit;
  if (!std::isfinite(u) || u <= 1e-7f || u >= 0.1f) {
    audit.playerDequantizeReject.fetch_add(1);
    return false;
  }
  if (!learned.learned) {
    learned.unit = u;
    learned.learned = true;
  } else if (std::fabs(u - learned.unit) > std::fmax(0.02f * learned.unit, 1e-7f)) {
    audit.playerDequantizeReject.fetch_add(1);
    return false;
  }
  const double s = signedUnit;
  const double sens = frame.sensitivity;
  const double v = double{angle} + (double{static_cast<double>(count)} * sens - static_cast<double>(q)) * s;
  if (!std::isfinite(sens) || !(sens > 0.0) || s == 0.0 || !std::isfinite(v) || v < -3.4028234663852886e38 ||
      v > 3.4028234663852886e38) {
    audit.playerDequantizeReject.fetch_add(1);
    return false;
  }
  replaced = static_cast<float>(v);
  audit.playerDequantized.fetch_add(1);
  return true;
}

}  // namespace driftglass
