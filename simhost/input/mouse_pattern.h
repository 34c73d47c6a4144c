#pragma once
// What the mouse user's hand does, one send slot at a time: smooth left and right sweeps with a
// little vertical drift, quick flicks with rests between them, small random jitter, or all three
// in turn; or one steady motion, to the right or upwards. Deterministic from the seed; apart from
// the steady motions the hand's net travel stays within a few hundred counts.

#include <cstdint>

#include "scenarios/scenario.h"

struct MouseStep {
  int32_t dx = 0;
  int32_t dy = 0;  // both 0: the hand rests this slot, nothing is sent
};

// Wine turns a relative move of more than 6 counts into twice as much raw motion (pointer
// acceleration it applies before raw input), so no step is larger.
constexpr int32_t kMaxMouseStep = 6;
constexpr double kSweepRightCountsPerSecond = 1000.0;
constexpr double kPitchUpCountsPerSecond = 1500.0;

class MousePatternGenerator {
 public:
  MousePatternGenerator(MousePattern pattern, uint32_t seed, double rateHz);
  MouseStep Next();

 private:
  MouseStep Sweep(double seconds);
  MouseStep Flick();
  MouseStep Jitter();
  MouseStep Toward(double targetX, double targetY);
  uint32_t Random();

  MousePattern pattern_;
  MousePattern current_ = MousePattern::kNone;  // the mixed pattern's part in this segment
  double rateHz_;
  uint64_t slot_ = 0;
  uint32_t random_;
  int32_t x_ = 0;  // the hand's offset from where it started
  int32_t y_ = 0;
  double sweepAmplitude_, sweepHz_, driftAmplitude_, driftHz_;
  // A flick moves from one point to another over a few slots, then the hand rests.
  uint32_t flickSlot_ = 0, flickSlots_ = 1, restSlots_ = 0;
  int32_t flickFromX_ = 0, flickFromY_ = 0, flickToX_ = 0, flickToY_ = 0;
};
