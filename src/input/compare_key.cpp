#include "input/compare_key.h"

#include <cwchar>

#include "config/key_names.h"
#include "diag/telemetry_counters.h"
#include "host/game_window.h"
#include "log/diagnostic_log.h"

namespace driftglass {

bool ReadCompareKey(CompareSwitch& compare, KeyStateQuery keyState, ForegroundQuery gameHasForeground) {
  if (compare.virtualKey == 0) return false;
  const bool down = (keyState(static_cast<int>(compare.virtualKey)) & 0x8000) != 0;
  const bool pressed = down && !compare.keyWasDown;
  compare.keyWasDown = down;
  // The same key typed into another program is not meant for the game.
  if (!pressed || !gameHasForeground()) return false;
  compare.correctionsOff.store(!compare.correctionsOff.load());
  return true;
}

void ReadCompareKeyAtTick() {
  CompareSwitch& compare = ProcessCompareSwitch();
  if (compare.virtualKey == 0 || !ReadCompareKey(compare, &GetAsyncKeyState, &GameHasForeground)) return;
  ProcessTelemetry().compare.switches.fetch_add(1);
  wchar_t key[16];
  FormatKeyName(compare.virtualKey, key, 16);
  wchar_t text[160];
  const int length =
      compare.correctionsOff
          ? swprintf(text, 160, L"Compare key %ls: corrections off; frames show the game's own state until %ls is "
                                L"pressed again.", key, key)
          : swprintf(text, 160, L"Compare key %ls: corrections on.", key);
  if (length > 0) ProcessLog().WriteLine(kLogInfo, text, static_cast<uint32_t>(length));
}

}  // namespace driftglass
