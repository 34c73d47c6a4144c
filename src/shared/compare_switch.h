#pragma once
// The compare key's switch. While the corrections are off every drawn correction stands aside and
// frames show the engine's own state, as on a frame the clock cannot place; capture, histories,
// mouse counting and pacing go on, so turning them on again takes effect at the next frame.
// Written on the game's main thread; the emitter and image-trail detours, which the engine may call
// from other threads, read whether the corrections are off.

#include <atomic>
#include <cstdint>

namespace driftglass {

struct CompareSwitch {
  uint32_t virtualKey = 0;  // 0: no compare key
  bool keyWasDown = false;
  std::atomic<bool> correctionsOff{false};
};

CompareSwitch& ProcessCompareSwitch();

}  // namespace driftglass
