#include "input/mouse_user.h"

#include <cmath>

#include "input/mouse_pattern.h"
#include "record/host_clock.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

constexpr uint32_t kMostSends = 4000000;
// Under Wine here Sleep(1) takes about 2 ms and a high-resolution timer at least 1.1 ms whatever
// it is asked for, so the timer only covers waits longer than that and the rest is a yielding
// spin.
constexpr double kTimerMinimumSeconds = 1.5e-3;
constexpr double kTimerLatencySeconds = 1.2e-3;
// Pauses this long or longer are stillness to whoever reads the record (flicks rest 150 ms).
constexpr double kKeptRestSeconds = 0.1;
constexpr LONG64 kNeverSent = -(LONG64{1} << 62);

}  // namespace

void MouseUser::Init(const Scenario& scenario) {
  scenario_ = &scenario;
  InterlockedExchange64(&lastSendMicros_, kNeverSent);
  InterlockedExchange(&done_, scenario.mousePattern == MousePattern::kNone ? 1 : 0);
  if (scenario.mousePattern == MousePattern::kNone) return;
  const double slots = std::ceil((scenario.mouseStopSeconds - scenario.mouseStartSeconds) * scenario.mouseRateHz);
  log_.resize(slots < kMostSends ? static_cast<size_t>(slots) + 1 : kMostSends);
  timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  if (timer_ == nullptr) timer_ = CreateWaitableTimerW(nullptr, TRUE, nullptr);
}

void MouseUser::Start(double loopStartSeconds) {
  loopStart_ = loopStartSeconds;
  if (scenario_->mousePattern == MousePattern::kNone) return;
  if (scenario_->mouseByTicks) {
    ticked_.emplace(scenario_->mousePattern, scenario_->mouseSeed, scenario_->mouseRateHz);
    return;
  }
  thread_ = CreateThread(nullptr, 0, &MouseUser::ThreadMain, this, 0, nullptr);
}

void MouseUser::Join() {
  if (thread_ == nullptr) return;
  InterlockedExchange(&stop_, 1);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

DWORD WINAPI MouseUser::ThreadMain(void* self) {
  MouseUser& user = *static_cast<MouseUser*>(self);
  user.Run();
  InterlockedExchange(&user.done_, 1);
  return 0;
}

double MouseUser::lastSendSeconds() const {
  return static_cast<double>(InterlockedCompareExchange64(const_cast<LONG64*>(&lastSendMicros_), 0, 0)) * 1e-6;
}

double MouseUser::Now() const { return HostSeconds() - loopStart_; }

bool MouseUser::SendForTick(uint32_t completedTicks, bool (*send)(int32_t dx, int32_t dy)) {
  if (!ticked_ || done_ != 0) return true;
  const Scenario& s = *scenario_;
  // The game's time of a slot is its tick's: slot times in [t, t + 1) sixtieths come before tick t + 1.
  const double until = static_cast<double>(completedTicks + 1) / 60.0;
  bool arrived = true;
  for (;; ++nextSlot_) {
    const double due = s.mouseStartSeconds + static_cast<double>(nextSlot_) / s.mouseRateHz;
    if (due >= s.mouseStopSeconds || count_ >= log_.size()) {
      InterlockedExchange(&done_, 1);
      break;
    }
    if (due >= until) break;
    const MouseStep step = ticked_->Next();
    if (step.dx == 0 && step.dy == 0) continue;
    const double now = Now();
    if (!send(step.dx, step.dy)) {
      ++failures_;
      arrived = false;
      continue;
    }
    log_[count_++] = MouseSend{now, step.dx, step.dy};
    InterlockedExchange64(&lastSendMicros_, static_cast<LONG64>(now * 1e6));
    totalX_ += step.dx;
    totalY_ += step.dy;
  }
  return arrived;
}

bool MouseUser::WaitUntil(double seconds) {
  for (;;) {
    if (stop_ != 0) return false;
    const double remaining = seconds - Now();
    if (remaining <= 0) return true;
    if (timer_ != nullptr && remaining > kTimerMinimumSeconds) {
      LARGE_INTEGER due;
      due.QuadPart = -static_cast<LONGLONG>((remaining - kTimerLatencySeconds) * 1e7);
      SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
      WaitForSingleObject(timer_, INFINITE);
    } else {
      SwitchToThread();
    }
  }
}

// Slots fall due at fixed times; a late slot is sent at once, and nothing is sent after the
// stop time, so the game's last ticks after it see every move. A long rest is never shortened by
// a late send before it: the hand waits it out in full and the later slots move with it.
void MouseUser::Run() {
  const Scenario& s = *scenario_;
  MousePatternGenerator pattern(s.mousePattern, s.mouseSeed, s.mouseRateHz);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_MOVE;
  double shift = 0;
  uint64_t lastSlot = 0;
  double lastSent = -1.0;
  for (uint64_t slot = 0; count_ < log_.size(); ++slot) {
    const double due = s.mouseStartSeconds + static_cast<double>(slot) / s.mouseRateHz + shift;
    if (due >= s.mouseStopSeconds || !WaitUntil(due)) break;
    const MouseStep step = pattern.Next();
    if (step.dx == 0 && step.dy == 0) continue;
    const double rest = static_cast<double>(slot - lastSlot) / s.mouseRateHz;
    if (lastSent >= 0 && rest >= kKeptRestSeconds) {
      const double restEnd = lastSent + rest;
      if (restEnd > Now()) {
        if (restEnd >= s.mouseStopSeconds || !WaitUntil(restEnd)) break;
        shift += restEnd - due;
      }
    }
    const double now = Now();
    if (now >= s.mouseStopSeconds) break;
    input.mi.dx = step.dx;
    input.mi.dy = step.dy;
    const bool sent = SendInput(1, &input, sizeof(input)) == 1;
    // Under Wine a thread that sends input and never reads its own message queue grows the
    // process by about 150 bytes a send; emptying the queue keeps the game's memory flat.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (!sent) {
      ++failures_;
      continue;
    }
    log_[count_++] = MouseSend{now, step.dx, step.dy};
    InterlockedExchange64(&lastSendMicros_, static_cast<LONG64>(now * 1e6));
    lastSlot = slot;
    lastSent = now;
    totalX_ += step.dx;
    totalY_ += step.dy;
  }
}
