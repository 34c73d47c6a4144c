#include "timing/system_pacer_platform.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace driftglass {

SystemPacerPlatform::~SystemPacerPlatform() {
  if (timer_ != nullptr) CloseHandle(timer_);
}

int64_t SystemPacerPlatform::Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

void SystemPacerPlatform::Sleep(int64_t ticks, int64_t frequency) {
  if (ticks <= 0 || frequency <= 0) return;
  if (!timerTried_) {
    timerTried_ = true;
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) timer_ = CreateWaitableTimerW(nullptr, TRUE, nullptr);
  }
  if (timer_ != nullptr) {
    LARGE_INTEGER due;
    due.QuadPart = -(ticks * 10000000 / frequency);  // relative, in 100 ns units
    if (due.QuadPart < 0 && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE) &&
        WaitForSingleObject(timer_, INFINITE) == WAIT_OBJECT_0) {
      return;
    }
  }
  ::Sleep(static_cast<DWORD>(ticks * 1000 / frequency));
}

}  // namespace driftglass
