// Stand-in for SDL2.dll: the functions the simulated game and the plug-in use. The millisecond
// clock runs on the performance counter, as SDL's does. The window and raw mouse input live in
// sdl2_stand_in_window.cpp.
#include <windows.h>

#include <cstdint>

#include "stand_ins/sdl2_stand_in_state.h"

namespace {

LARGE_INTEGER StartCounter() {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  return start;
}

const LARGE_INTEGER gStart = StartCounter();
volatile LONG gRelativeX = 0;
volatile LONG gRelativeY = 0;
volatile LONG64 gReceivedX = 0;
volatile LONG64 gReceivedY = 0;

}  // namespace

void sdl2_stand_in::AddRelativeMotion(LONG x, LONG y) {
  InterlockedExchangeAdd(&gRelativeX, x);
  InterlockedExchangeAdd(&gRelativeY, y);
  InterlockedExchangeAdd64(&gReceivedX, x);
  InterlockedExchangeAdd64(&gReceivedY, y);
}

extern "C" {

__declspec(dllexport) uint32_t SDL_GetTicks(void) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<uint32_t>((now.QuadPart - gStart.QuadPart) * 1000 / frequency.QuadPart);
}

// Test hook of the stand-in: the same clock without the rounding to whole milliseconds, so the
// game can tell exactly where on the tick clock a frame falls.
__declspec(dllexport) double SDLStandIn_PreciseTicks(void) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - gStart.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

__declspec(dllexport) void SDL_PumpEvents(void) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Empties the accumulated relative motion, as SDL does.
__declspec(dllexport) uint32_t SDL_GetRelativeMouseState(int* x, int* y) {
  const LONG takenX = InterlockedExchange(&gRelativeX, 0);
  const LONG takenY = InterlockedExchange(&gRelativeY, 0);
  if (x != nullptr) *x = takenX;
  if (y != nullptr) *y = takenY;
  return 0;
}

// Test hook of the stand-in: all the relative motion SDL2 received, the game's ground truth when
// packets can be lost to everyone (while no window exists).
__declspec(dllexport) void SDLStandIn_ReceivedMotion(long long* x, long long* y) {
  *x = InterlockedCompareExchange64(&gReceivedX, 0, 0);
  *y = InterlockedCompareExchange64(&gReceivedY, 0, 0);
}

// Test hook of the stand-in: motion the "user" made since the last read.
__declspec(dllexport) void SDLStandIn_AddRelativeMotion(int x, int y) {
  sdl2_stand_in::AddRelativeMotion(x, y);
}
}
