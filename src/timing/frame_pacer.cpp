#include "timing/frame_pacer.h"

namespace driftglass {
namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

int64_t Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

int64_t Micros(int64_t ticks, int64_t frequency) {
  return frequency > 0 ? ticks * 1000000 / frequency : 0;
}

// Where sleeps start learning from: Wine's timers here wake about 1 ms late, rarely 2.5.
constexpr int64_t kStartMarginMicros = 1500;
constexpr int64_t kLeastMarginMicros = 200;
constexpr int64_t kMostMarginMicros = 4000;
// The margin follows the latest lateness up at once and down slowly (an eighth at a time), so
// one quick wake-up does not make the next frames late.
constexpr int64_t kMarginDecayShift = 3;

}  // namespace

void PacerGrid::Reset(int64_t interval) {
  interval_ = interval;
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
    return step;
  }
  if (now < deadline_) step.waitUntil = deadline_;
  deadline_ += interval_;
  return step;
}

FramePacer::~FramePacer() {
  if (timer_ != nullptr) CloseHandle(timer_);
}

void FramePacer::Configure(uint32_t rate, int64_t frequency) {
  rate_ = rate;
  frequency_ = frequency;
  grid_.Reset(rate > 0 && frequency > 0 ? frequency / rate : 0);
  margin_ = frequency * kStartMarginMicros / 1000000;
}

PacerCounts FramePacer::Pace() {
  PacerCounts counts;
  if (rate_ == 0 || frequency_ <= 0) return counts;
  const int64_t start = Now();
  const PacerStep step = grid_.Next(start);
  counts.paced = 1;
  counts.lateRestarts = step.restarted ? 1 : 0;
  if (step.waitUntil == 0) return counts;
  SleepUntil(step.waitUntil, start);
  const int64_t spinStart = Now();
  while (Now() < step.waitUntil) YieldProcessor();
  const int64_t end = Now();
  counts.waitMicros = static_cast<uint32_t>(Micros(end - start, frequency_));
  counts.spinMicros = static_cast<uint32_t>(Micros(end - spinStart, frequency_));
  return counts;
}

// Sleeps until the margin before the deadline (not at all when less is left), then learns from
// how late the wake-up came.
void FramePacer::SleepUntil(int64_t deadline, int64_t now) {
  const int64_t wake = deadline - margin_;
  if (wake <= now) return;
  if (!timerTried_) {
    timerTried_ = true;
    // A high-resolution timer where the system has one, else a plain one, else Sleep.
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) timer_ = CreateWaitableTimerW(nullptr, TRUE, nullptr);
  }
  const int64_t sleepTicks = wake - now;
  bool slept = false;
  if (timer_ != nullptr) {
    LARGE_INTEGER due;
    due.QuadPart = -(sleepTicks * 10000000 / frequency_);  // relative, in 100 ns units
    if (due.QuadPart < 0 && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
      slept = WaitForSingleObject(timer_, INFINITE) == WAIT_OBJECT_0;
    }
  }
  if (!slept) Sleep(static_cast<DWORD>(sleepTicks * 1000 / frequency_));
  const int64_t late = Now() - wake;
  const int64_t least = frequency_ * kLeastMarginMicros / 1000000;
  const int64_t most = frequency_ * kMostMarginMicros / 1000000;
  int64_t next = late > margin_ ? late : margin_ - ((margin_ - late) >> kMarginDecayShift);
  margin_ = next < least ? least : (next > most ? most : next);
}

}  // namespace driftglass
