#pragma once
// Spaces presented frames evenly at a target rate. Deadlines lie on a grid of one interval; a
// frame that comes more than one interval late starts the grid again from its own time, so a
// stall is never followed by a burst of catch-up frames. The wait sleeps the bulk and spins only
// a margin learned from how late the sleeps actually wake, so it costs little and lands close.

#include <cstdint>

#include "timing/frame_rate.h"

namespace driftglass {

// What one frame's place on the grid asks for, in performance-counter ticks.
struct PacerStep {
  int64_t waitUntil = 0;  // 0: no wait
  bool restarted = false; // the grid started again at this frame
};

// The deadline grid alone (no clock, no waiting), so it can be tested with made-up times.
class PacerGrid {
 public:
  // One interval is ticks / divisor counter ticks; the remainder is carried from frame to frame,
  // so a 59.94 Hz grid does not drift from the display.
  void Reset(int64_t ticks, uint32_t divisor = 1);
  PacerStep Next(int64_t now);
  int64_t interval() const { return interval_; }

 private:
  int64_t interval_ = 0;
  int64_t remainder_ = 0;
  int64_t divisor_ = 1;
  int64_t carry_ = 0;
  int64_t deadline_ = 0;
  bool started_ = false;
};

// Per-frame figures the frame sequence turns into telemetry.
struct PacerCounts {
  uint32_t paced = 0;
  uint32_t lateRestarts = 0;
  uint32_t waitMicros = 0;
  uint32_t spinMicros = 0;
};

// What the wait asks of the system: the product answers with the performance counter, a
// waitable timer and the processor's pause; tests answer with a clock of their own.
class PacerPlatform {
 public:
  virtual int64_t Now() = 0;
  // Sleeps for about ticks of a counter running at frequency; it may wake late.
  virtual void Sleep(int64_t ticks, int64_t frequency) = 0;
  // One turn of the spin before the deadline.
  virtual void Pause() = 0;

 protected:
  ~PacerPlatform() = default;
};

class FramePacer {
 public:
  explicit FramePacer(PacerPlatform& platform) : platform_(platform) {}
  // Frames at rate on a counter of `frequency` ticks per second; no rate turns pacing off.
  void Configure(const FrameRate& rate, int64_t frequency);
  const FrameRate& rate() const { return rate_; }
  // Waits until this frame's deadline; returns what it did.
  PacerCounts Pace();
  // How much earlier than the deadline a sleep ends, in counter ticks.
  int64_t margin() const { return margin_; }

 private:
  void Learn(int64_t late);
  void Decay();
  void Clamp();

  PacerPlatform& platform_;
  PacerGrid grid_;
  FrameRate rate_;
  int64_t frequency_ = 0;
  int64_t margin_ = 0;
  int64_t leastMargin_ = 0;
  int64_t mostMargin_ = 0;
};

}  // namespace driftglass
