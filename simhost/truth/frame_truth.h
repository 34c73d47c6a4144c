#pragma once
// Where each rendered frame should fall between the last two ticks, worked out by the game from
// its own logic timer and an unrounded reading of its tick clock: the elapsed share of the current
// fixed step at the render, less a phase (a share of the frame's length in 60 Hz ticks), accepted
// within the same bounds the presentation uses. The plug-in's own reports play no part in it.

#include <cstdint>

#include "engine/engine_objects.h"

struct FrameTruth {
  bool valid = false;  // the frame should show a blend of the last two ticks
  double raw = 0.0;    // elapsed share of the step before the phase
  double phase = 0.0;
  double alpha = 0.0;
  double expectedTicks = 0.0;  // simulation time, in ticks, the drawn pose should show
};

// The same at the moment the render returned. The plug-in reads its clock inside the render, so
// what it drew lies between the two: a busy machine that pauses the game there widens the bracket
// and nothing else.
struct FrameTruthEnd {
  double raw = 0.0;
  double alpha = 0.0;
  double expectedTicks = 0.0;
};

class FrameTruthClock {
 public:
  explicit FrameTruthClock(double phaseShare) : phaseShare_(phaseShare) {}

  // Call once per render, at the moment the game hands the frame to its renderer.
  FrameTruth AtRender(double wallSeconds, double tickClockMs, const LogicTimer& timer,
                      uint32_t completedTicks);
  // After the render, with the same ticks and phase as at its start.
  FrameTruthEnd AfterRender(const FrameTruth& atRender, double tickClockMs, const LogicTimer& timer,
                            uint32_t completedTicks) const;

 private:
  double phaseShare_;
  double lastRenderSeconds_ = 0.0;
  bool haveLastRender_ = false;
};

// The tick clock without rounding to whole milliseconds (from the SDL2 stand-in).
double PreciseTickClockMs();
