#pragma once
// The person at the mouse: a thread of the game's process that sends relative moves through
// SendInput at the scenario's rate, following its pattern, between its start and stop times.
// Each move is kept with its time (seconds since the loop's start, the frame lines' clock) in
// a log sized before the thread starts, so sending never allocates.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "input/mouse_pattern.h"
#include "scenarios/scenario.h"

struct MouseSend {
  double seconds;
  int32_t dx;
  int32_t dy;
};

class MouseUser {
 public:
  void Init(const Scenario& scenario);
  // Starts sending; a scenario without a pattern, or one timed by ticks, starts nothing.
  void Start(double loopStartSeconds);
  // Timed by ticks, on the game's thread right after tick `completedTicks` (0: before the first):
  // the moves whose times fall in the next tick's sixtieth of a second, sent through send, which
  // returns whether SDL has them before the next tick. False when one did not arrive.
  bool SendForTick(uint32_t completedTicks, bool (*send)(int32_t dx, int32_t dy));
  // Asks the thread to stop (it stops by itself at the stop time) and waits for it.
  void Join();

  // Whether the thread has made its last send (true at once without a pattern), and when the
  // latest send was made; both may be read while it runs.
  bool done() const { return done_ != 0; }
  double lastSendSeconds() const;

  // Valid after Join.
  uint32_t sends() const { return count_; }
  const MouseSend& send(uint32_t index) const { return log_[index]; }
  int64_t totalX() const { return totalX_; }
  int64_t totalY() const { return totalY_; }
  uint32_t failures() const { return failures_; }

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  bool WaitUntil(double seconds);  // false when asked to stop
  double Now() const;

  const Scenario* scenario_ = nullptr;
  double loopStart_ = 0;
  HANDLE thread_ = nullptr;
  HANDLE timer_ = nullptr;
  volatile LONG stop_ = 0;
  volatile LONG done_ = 1;
  volatile LONG64 lastSendMicros_;
  std::vector<MouseSend> log_;
  uint32_t count_ = 0;
  int64_t totalX_ = 0;
  int64_t totalY_ = 0;
  uint32_t failures_ = 0;
  std::optional<MousePatternGenerator> ticked_;  // the hand, when timed by ticks
  uint64_t nextSlot_ = 0;
};
