#include "timing/frame_pacer.h"

namespace driftglass {
namespace {

int64_t Micros(int64_t ticks, int64_t frequency) {
  return frequency > 0 ? ticks * 1000000 / frequency : 0;
}

int64_t Ticks(int64_t micros, int64_t frequency) { return frequency * micros / 1000000; }

// Where sleeps start learning from: Wine's timers here wake about 1 ms late, rarely 2.5.
constexpr int64_t kStartMarginMicros = 1500;
constexpr int64_t kLeastMarginMicros = 200;
constexpr int64_t kMostMarginMicros = 4000;
// The margin follows the latest lateness up at once and down slowly (an eighth at a time), so
// one quick wake-up does not make the next frames late.
constexpr int64_t kMarginDecayShift = 3;

}  // namespace

void PacerGrid::Reset(int64_t ticks, uint32_t divisor) {
  divisor_ = divisor > 0 ? divisor : 1;
  interval_ = ticks > 0 ? ticks / divisor_ : 0;
  remainder_ = ticks > 0 ? ticks % divisor_ : 0;
  carry_ = 0;
  deadline_ = 0;
  started_ = false;
}

PacerStep PacerGrid::Next(int64_t now) {
  PacerStep step;
  if (interval_ <= 0) return step;
  if (!started_ || now - deadline_ > interval_) {
    // The first frame, or one more than an interval late: the grid starts again here.
    step.restarted = started_;
    started_ = true;
    deadline_ = now + interval_;
    carry_ = 0;
    return step;
  }
  if (now < deadline_) step.waitUntil = deadline_;
  deadline_ += interval_;
  carry_ += remainder_;
  if (carry_ >= divisor_) {
    carry_ -= divisor_;
    ++deadline_;
  }
  return step;
}

void FramePacer::Configure(const FrameRate& rate, int64_t frequency) {
  rate_ = rate;
  frequency_ = frequency;
  const bool on = rate.known() && frequency > 0;
  grid_.Reset(on ? frequency * rate.denominator : 0, on ? rate.numerator : 1);
  leastMargin_ = Ticks(kLeastMarginMicros, frequency);
  // A margin above half an interval would spin more than it sleeps.
  const int64_t half = grid_.interval() / 2;
  mostMargin_ = Ticks(kMostMarginMicros, frequency);
  if (mostMargin_ > half) mostMargin_ = half;
  if (leastMargin_ > mostMargin_) leastMargin_ = mostMargin_;
  margin_ = Ticks(kStartMarginMicros, frequency);
  Clamp();
}

PacerCounts FramePacer::Pace() {
  PacerCounts counts;
  if (grid_.interval() <= 0) return counts;
  const int64_t start = platform_.Now();
  const PacerStep step = grid_.Next(start);
  counts.paced = 1;
  counts.lateRestarts = step.restarted ? 1 : 0;
  if (step.waitUntil == 0) {
    Decay();
    return counts;
  }
  // Sleep until the margin before the deadline (not at all when less is left), then learn from
  // how late the wake-up came.
  const int64_t wake = step.waitUntil - margin_;
  if (wake > start) {
    platform_.Sleep(wake - start, frequency_);
    Learn(platform_.Now() - wake);
  } else {
    Decay();  // or one late wake-up would keep every later wait spinning
  }
  const int64_t spinStart = platform_.Now();
  int64_t now = spinStart;
  while (now < step.waitUntil) {
    platform_.Pause();
    now = platform_.Now();
  }
  counts.waitMicros = static_cast<uint32_t>(Micros(now - start, frequency_));
  counts.spinMicros = static_cast<uint32_t>(Micros(now - spinStart, frequency_));
  return counts;
}

void FramePacer::Learn(int64_t late) {
  margin_ = late > margin_ ? late : margin_ - ((margin_ - late) >> kMarginDecayShift);
  Clamp();
}

void FramePacer::Decay() {
  margin_ -= (margin_ - leastMargin_) >> kMarginDecayShift;
  Clamp();
}

void FramePacer::Clamp() {
  if (margin_ > mostMargin_) margin_ = mostMargin_;
  if (margin_ < leastMargin_) margin_ = leastMargin_;
}

}  // namespace driftglass
