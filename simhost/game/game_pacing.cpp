#include "game/game_pacing.h"

#include <windows.h>

#include "record/host_clock.h"

namespace {

constexpr double kRestartBehindSeconds = 0.25;

void WaitUntil(double seconds) {
  for (;;) {
    const double remaining = seconds - HostSeconds();
    if (remaining <= 0) return;
    if (remaining > 0.002) Sleep(1);
  }
}

}  // namespace

void GamePacing::Start(const Scenario& scenario, double loopStartSeconds) {
  scenario_ = &scenario;
  whole_ = PacingStretch{0, scenario.pacing, scenario.pacingHz, scenario.jitterPercent};
  stretch_ = 0;
  nextFrame_ = loopStartSeconds;
}

const PacingStretch& GamePacing::Current(uint32_t completedTicks) {
  const std::vector<PacingStretch>& stretches = scenario_->pacingStretches;
  if (stretches.empty()) return whole_;
  const size_t before = stretch_;
  while (stretch_ + 1 < stretches.size() && stretches[stretch_ + 1].fromTick <= completedTicks) ++stretch_;
  if (stretch_ != before) nextFrame_ = HostSeconds();
  return stretches[stretch_];
}

double GamePacing::NextInterval(const PacingStretch& pacing) {
  const double base = 1.0 / pacing.hz;
  if (pacing.pacing != Pacing::kJitter) return base;
  jitterState_ = jitterState_ * 1103515245u + 12345u;
  const double unit = static_cast<double>((jitterState_ >> 8) % 2001) / 1000.0 - 1.0;  // -1..1
  return base * (1.0 + unit * pacing.jitterPercent / 100.0);
}

void GamePacing::AfterFrame(uint32_t completedTicks) {
  const PacingStretch& pacing = Current(completedTicks);
  if (pacing.pacing != Pacing::kFixed && pacing.pacing != Pacing::kJitter) return;
  const double now = HostSeconds();
  if (now - nextFrame_ > kRestartBehindSeconds) nextFrame_ = now;
  nextFrame_ += NextInterval(pacing);
  WaitUntil(nextFrame_);
}
