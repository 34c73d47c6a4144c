#pragma once
// The game's window, as the mouse tap, the limiter and the compare key find it.

#include <windows.h>

namespace driftglass {

// The process's foreground window, else its first visible unowned top-level window, else null.
HWND FindGameWindow();
// Whether the window the user is typing into belongs to this process.
bool GameHasForeground();

}  // namespace driftglass
