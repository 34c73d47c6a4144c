#pragma once

namespace driftglass {

struct LogicTimerFields {
  double nextDueMs;     // host tick time at which the next fixed step falls due
  double stepNumerator;
  double stepDivisor;
};

// How far the fixed step that ends at nextDue has progressed at nowMs (raw, 0 just after the
// last step ran, near 1 just before the next), and that less phase clamped to [0, 1] (alpha).
// raw is stored as soon as it is known, even when a later check fails.
bool ComputeLogicTimerResidual(const LogicTimerFields& timer, double nowMs, double phase,
                               double& alpha, double& raw);

}  // namespace driftglass
