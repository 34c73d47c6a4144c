#include "timing/logic_timer_residual.h"

#include <cmath>

namespace driftglass {

bool ComputeLogicTimerResidual(const LogicTimerFields& timer, double nowMs, double phase,
                               double& alpha, double& raw) {
  alpha = 0.0;
  raw = 0.0;
  if (!std::isfinite(timer.nextDueMs) || !std::isfinite(timer.stepNumerator) ||
      !std::isfinite(timer.stepDivisor) || !std::isfinite(nowMs) || !std::isfinite(phase)) {
    return false;
  }
  if (!(timer.stepNumerator >= 1.0 && timer.stepNumerator <= 1000.0) ||
      !(timer.stepDivisor >= 0.01 && timer.stepDivisor <= 100.0) || !(phase >= 0.0 && phase <= 1.0)) {
    return false;
  }
  const double step = timer.stepNumerator / timer.stepDivisor;
  raw = (nowMs - (timer.nextDueMs - step)) / step;
  const double adjusted = raw - phase;
  if (!std::isfinite(raw) || !std::isfinite(adjusted) || raw < -0.25 || raw > 2.25 ||
      adjusted < -0.25 || adjusted > 1.25) {
    return false;
  }
  alpha = adjusted < 0.0 ? 0.0 : (adjusted > 1.0 ? 1.0 : adjusted);
  return true;
}

}  // namespace driftglass
