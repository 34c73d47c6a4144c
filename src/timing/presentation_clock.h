#pragma once
// Decides once per rendered frame whether it can be drawn between the last two completed fixed
// ticks and where between them it falls. Ticks are recorded with their wall time only to guard
// continuity; the fraction itself comes from the engine's logic timer.

#include <cstdint>

#include "timing/clock_sample.h"
#include "timing/discontinuity_reason.h"

namespace driftglass {

struct TickRecordResult {
  bool accepted = false;
  uint32_t reason = kDiscontinuityNone;
};

class PresentationClock {
 public:
  void ResetClock(uint32_t reason);
  TickRecordResult RecordTick(uint64_t tick, double wallSeconds, bool explicitDiscontinuity);
  ClockSample SampleClock(double nowSeconds, double alpha, bool alphaValid);

  uint64_t generation() const { return generation_; }
  uint32_t lastReason() const { return lastReason_; }
  uint32_t count() const { return count_; }

 private:
  struct Entry {
    uint64_t tick = 0;
    double wallSeconds = 0.0;
  };
  const Entry& Oldest() const { return entries_[head_]; }
  const Entry& Newest() const { return entries_[(head_ + count_ - 1) % 2]; }
  void Push(uint64_t tick, double wallSeconds);
  ClockSample Reset(ClockSample sample, uint32_t reason);

  Entry entries_[2];
  uint32_t head_ = 0;
  uint32_t count_ = 0;
  uint64_t generation_ = 0;
  uint32_t lastReason_ = kDiscontinuityNone;
  double lastSampleSeconds_ = 0.0;
  bool hasLastSample_ = false;
};

// The per-frame fraction: the logic-timer residual less a phase, a configured share (none unless
// asked for) of this frame's length in 60 Hz ticks.
struct FrameFraction {
  double alpha = 0.0;
  double raw = 0.0;
  double phase = 0.0;
  bool alphaValid = false;
};

using ResidualQuery = bool (*)(double nowSeconds, double phase, double& alpha, double& raw);

class FrameFractionClock {
 public:
  FrameFraction ComputeFrameFraction(double nowSeconds, ResidualQuery query);
  // Published before any detour runs; 55 gives exactly the factor 0.55.
  void SetPhaseDelayPercent(uint32_t percent) { phaseFactor_ = percent / 100.0; }
  double phaseFactor() const { return phaseFactor_; }

 private:
  double phaseFactor_ = 0.0;
  double lastFrameSeconds_ = 0.0;
  bool haveLastFrame_ = false;
};

PresentationClock& ProcessPresentationClock();
FrameFractionClock& ProcessFrameFractionClock();

constexpr double kTickSeconds = 1.0 / 60.0;

}  // namespace driftglass
