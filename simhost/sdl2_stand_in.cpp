// Stand-in for SDL2.dll: the functions the simulated game and the plug-in use.
#include <windows.h>

#include <cstdint>

extern "C" {

__declspec(dllexport) uint32_t SDL_GetTicks(void) { return GetTickCount(); }

__declspec(dllexport) void SDL_PumpEvents(void) {}

__declspec(dllexport) uint32_t SDL_GetRelativeMouseState(int* x, int* y) {
  if (x != nullptr) *x = 0;
  if (y != nullptr) *y = 0;
  return 0;
}

#ifndef WITHOUT_RELATIVE_MOUSE_MODE
__declspec(dllexport) int SDL_GetRelativeMouseMode(void) { return 1; }
#endif
}
