#include "truth/frame_truth.h"

#include <windows.h>

#include <cmath>

namespace {

constexpr double kTickSeconds = 1.0 / 60.0;
constexpr double kLongGapSeconds = 0.25;

double Clamp(double value, double low, double high) {
  return value < low ? low : (value > high ? high : value);
}

}  // namespace

FrameTruth FrameTruthClock::AtRender(double wallSeconds, double tickClockMs,
                                     const LogicTimer& timer, uint32_t completedTicks) {
  FrameTruth truth;
  truth.expectedTicks = completedTicks;  // the engine's own pose unless a blend is due
  const double gap = wallSeconds - lastRenderSeconds_;
  const bool gapUsable = haveLastRender_ && gap > 0.0 && gap <= kLongGapSeconds;
  lastRenderSeconds_ = wallSeconds;
  haveLastRender_ = true;
  if (!gapUsable || completedTicks < 2) return truth;

  const double step = timer.stepNumerator / timer.stepDivisor;
  truth.phase = Clamp(gap / kTickSeconds, 0.0, 1.0) * phaseShare_;
  truth.raw = (tickClockMs - (timer.nextDueMs - step)) / step;
  const double adjusted = truth.raw - truth.phase;
  truth.valid = timer.stepNumerator >= 1.0 && timer.stepNumerator <= 1000.0 &&
                timer.stepDivisor >= 0.01 && timer.stepDivisor <= 100.0 && truth.raw >= -0.25 &&
                truth.raw <= 2.25 && adjusted >= -0.25 && adjusted <= 1.25;
  if (!truth.valid) return truth;
  truth.alpha = Clamp(adjusted, 0.0, 1.0);
  truth.expectedTicks = (completedTicks - 1) + truth.alpha;
  return truth;
}

FrameTruthEnd FrameTruthClock::AfterRender(const FrameTruth& atRender, double tickClockMs,
                                           const LogicTimer& timer, uint32_t completedTicks) const {
  FrameTruthEnd end{atRender.raw, atRender.alpha, atRender.expectedTicks};
  if (!atRender.valid) return end;
  const double step = timer.stepNumerator / timer.stepDivisor;
  end.raw = (tickClockMs - (timer.nextDueMs - step)) / step;
  const double adjusted = end.raw - atRender.phase;
  // Past the accepted range a reading falls back to the newest tick, as at a fraction of 1.
  end.alpha = adjusted > 1.25 ? 1.0 : Clamp(adjusted, 0.0, 1.0);
  end.expectedTicks = (completedTicks - 1) + end.alpha;
  return end;
}

double PreciseTickClockMs() {
  using PreciseTicks = double (*)();
  static const PreciseTicks precise = reinterpret_cast<PreciseTicks>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"SDL2.dll"), "SDLStandIn_PreciseTicks")));
  return precise != nullptr ? precise() : NAN;
}
