#pragma once
// State the stand-in SDL2's files share: the relative motion not yet read by the game.

#include <windows.h>

namespace sdl2_stand_in {

void AddRelativeMotion(LONG x, LONG y);

}  // namespace sdl2_stand_in

extern "C" void SDL_PumpEvents(void);
