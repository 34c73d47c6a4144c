#pragma once
// The compare key: read once per tick on the main thread, it flips the compare switch on each
// press made while the game's window has the foreground (a key held down flips it once).

#include <windows.h>

#include "shared/compare_switch.h"

namespace driftglass {

using KeyStateQuery = SHORT(WINAPI*)(int virtualKey);
using ForegroundQuery = bool (*)();

// True when the key went down since the last read and the switch flipped.
bool ReadCompareKey(CompareSwitch& compare, KeyStateQuery keyState, ForegroundQuery gameHasForeground);

// The tick's read of the process's key: a flip is counted and logged in one line.
void ReadCompareKeyAtTick();

}  // namespace driftglass
