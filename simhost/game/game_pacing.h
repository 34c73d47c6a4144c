#pragma once
// When the game renders its next frame while the engine's frame limit is off: at once (uncapped),
// on a fixed grid, or on a grid whose intervals vary by up to a share either way (jitter); for the
// whole run, or in the stretches a soak plans (each starts a new grid). After the game hung for
// longer than a long frame gap, the grid starts again instead of rendering a burst to catch up.

#include <cstdint>

#include "scenarios/scenario.h"

class GamePacing {
 public:
  void Start(const Scenario& scenario, double loopStartSeconds);
  // After a frame drawn with `completedTicks` ticks done: waits until the next frame is due.
  void AfterFrame(uint32_t completedTicks);

 private:
  const PacingStretch& Current(uint32_t completedTicks);
  double NextInterval(const PacingStretch& pacing);

  const Scenario* scenario_ = nullptr;
  PacingStretch whole_{};  // the scenario's own pacing
  size_t stretch_ = 0;
  double nextFrame_ = 0;
  uint32_t jitterState_ = 12345;
};
