#pragma once
// Spaces presented frames evenly at a target rate. Deadlines lie on a grid of one interval; a
// frame that comes more than one interval late starts the grid again from its own time, so a
// stall is never followed by a burst of catch-up frames. The wait sleeps the bulk and spins only
// a margin learned from how late the sleeps actually wake, so it costs little and lands close.

#include <windows.h>

#include <cstdint>

namespace driftglass {

// What one frame's place on the grid asks for, in performance-counter ticks.
struct PacerStep {
  int64_t waitUntil = 0;  // 0: no wait
  bool restarted = false; // the grid started again at this frame
};

// The deadline grid alone (no clock, no waiting), so it can be tested with made-up times.
class PacerGrid {
 public:
  void Reset(int64_t interval);
  PacerStep Next(int64_t now);
  int64_t interval() const { return interval_; }

 private:
  int64_t interval_ = 0;
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

class FramePacer {
 public:
  ~FramePacer();
  // rate frames per second on a counter of `frequency` ticks per second; 0 turns pacing off.
  void Configure(uint32_t rate, int64_t frequency);
  uint32_t rate() const { return rate_; }
  // Waits until this frame's deadline; returns what it did.
  PacerCounts Pace();

 private:
  void SleepUntil(int64_t deadline, int64_t now);

  PacerGrid grid_;
  uint32_t rate_ = 0;
  int64_t frequency_ = 0;
  HANDLE timer_ = nullptr;
  bool timerTried_ = false;
  // How much earlier than the deadline a sleep must end, learned from the sleeps' lateness.
  int64_t margin_ = 0;
};

}  // namespace driftglass
