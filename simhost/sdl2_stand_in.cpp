// Stand-in for SDL2.dll: the functions the simulated game and the plug-in use. The millisecond
// clock runs on the performance counter, as SDL's does.
#include <windows.h>

#include <cstdint>

namespace {

LARGE_INTEGER StartCounter() {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  return start;
}

const LARGE_INTEGER gStart = StartCounter();
volatile LONG gRelativeX = 0;
volatile LONG gRelativeY = 0;

}  // namespace

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

// Test hook of the stand-in: motion the "user" made since the last read.
__declspec(dllexport) void SDLStandIn_AddRelativeMotion(int x, int y) {
  InterlockedExchangeAdd(&gRelativeX, x);
  InterlockedExchangeAdd(&gRelativeY, y);
}

#ifndef WITHOUT_RELATIVE_MOUSE_MODE
__declspec(dllexport) int SDL_GetRelativeMouseMode(void) { return 1; }
#endif
}
