#include "timing/presentation_clock.h"

#include <cmath>

namespace driftglass {
namespace {

constexpr double kLongStallSeconds = 0.25;
constexpr double kBackwardsTolerance = 1e-9;

}  // namespace

void PresentationClock::ResetClock(uint32_t reason) {
  ++generation_;
  lastReason_ = reason;
  head_ = 0;
  count_ = 0;
  hasLastSample_ = false;
}

void PresentationClock::Push(uint64_t tick, double wallSeconds) {
  if (count_ < 2) {
    entries_[(head_ + count_) % 2] = Entry{tick, wallSeconds};
    ++count_;
  } else {
    entries_[head_] = Entry{tick, wallSeconds};
    head_ ^= 1u;
  }
}

TickRecordResult PresentationClock::RecordTick(uint64_t tick, double wallSeconds,
                                               bool explicitDiscontinuity) {
  if (!std::isfinite(wallSeconds)) {
    ResetClock(kDiscontinuityNonMonotonicWallTime);
    return {false, kDiscontinuityNonMonotonicWallTime};
  }
  uint32_t reason = kDiscontinuityNone;
  if (explicitDiscontinuity) {
    reason = kDiscontinuityExplicit;
  } else if (count_ > 0) {
    const Entry& last = Newest();
    if (tick <= last.tick) {
      reason = kDiscontinuityNonMonotonicTick;
    } else if (tick - last.tick != 1) {
      reason = kDiscontinuityMissingSnapshots;
    } else if (last.wallSeconds > wallSeconds + kBackwardsTolerance) {
      reason = kDiscontinuityNonMonotonicWallTime;
    } else if (wallSeconds - last.wallSeconds > kLongStallSeconds) {
      reason = kDiscontinuityLongStall;
    }
  }
  if (reason != kDiscontinuityNone) ResetClock(reason);
  Push(tick, wallSeconds);  // after a reset, the first entry of the new generation
  return {true, reason};
}

ClockSample PresentationClock::Reset(ClockSample sample, uint32_t reason) {
  ResetClock(reason);
  sample.kind = kSampleReset;
  sample.reason = reason;
  sample.generation = generation_;
  return sample;
}

ClockSample PresentationClock::SampleClock(double nowSeconds, double alpha, bool alphaValid) {
  ClockSample sample;
  sample.generation = generation_;
  if (!std::isfinite(nowSeconds)) return Reset(sample, kDiscontinuityNonMonotonicWallTime);
  if (hasLastSample_) {
    if (lastSampleSeconds_ > nowSeconds + kBackwardsTolerance) {
      return Reset(sample, kDiscontinuityNonMonotonicWallTime);
    }
    if (nowSeconds - lastSampleSeconds_ > kLongStallSeconds) {
      return Reset(sample, kDiscontinuityLongStall);
    }
  }
  lastSampleSeconds_ = nowSeconds;
  hasLastSample_ = true;
  if (count_ == 0) return sample;
  if (nowSeconds - Newest().wallSeconds > kLongStallSeconds) {
    return Reset(sample, kDiscontinuityLongStall);
  }
  if (count_ < 2 || !alphaValid || !std::isfinite(alpha)) return sample;
  if (Newest().tick != Oldest().tick + 1) return Reset(sample, kDiscontinuityMissingSnapshots);
  sample.kind = kSampleInterpolated;
  sample.previousTick = Oldest().tick;
  sample.currentTick = Newest().tick;
  sample.alpha = alpha < 0.0 ? 0.0 : (alpha > 1.0 ? 1.0 : alpha);
  sample.presentationSeconds =
      (static_cast<double>(sample.previousTick) + sample.alpha) * kTickSeconds;
  return sample;
}

FrameFraction FrameFractionClock::ComputeFrameFraction(double nowSeconds, ResidualQuery query) {
  FrameFraction fraction;
  if (haveLastFrame_) {
    const double dt = nowSeconds - lastFrameSeconds_;
    if (std::isfinite(dt) && dt > 0.0 && dt <= kLongStallSeconds) {
      const double frameTicks = dt / kTickSeconds;
      lastFrameSeconds_ = nowSeconds;
      fraction.phase = (frameTicks < 0.0 ? 0.0 : (frameTicks > 1.0 ? 1.0 : frameTicks)) * phaseFactor_;
      fraction.alphaValid = query(nowSeconds, fraction.phase, fraction.alpha, fraction.raw);
      if (!fraction.alphaValid) fraction.alpha = 0.0;
      return fraction;
    }
  }
  lastFrameSeconds_ = nowSeconds;
  haveLastFrame_ = true;
  return fraction;
}

PresentationClock& ProcessPresentationClock() {
  static PresentationClock clock;
  return clock;
}

FrameFractionClock& ProcessFrameFractionClock() {
  static FrameFractionClock clock;
  return clock;
}

}  // namespace driftglass
