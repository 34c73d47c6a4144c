#pragma once
// The player's keyboard: a compare_key event presses F9 (through SendInput, so the key takes the
// system's real path) after the frame at its tick and lets it go its duration later (at least
// three ticks, as a finger would). The frame line carries how many presses were made so far.

#include <cstdint>
#include <vector>

#include "scenario.h"

class KeyboardUser {
 public:
  void Init(const Scenario& scenario);
  void AfterFrame(uint32_t completedTicks);
  // Releases a key still held when the loop ends.
  void Finish();
  const char* FrameFields();

 private:
  struct Press {
    uint32_t downTick;
    uint32_t upTick;
    bool down;
    bool up;
  };
  std::vector<Press> presses_;
  uint32_t sent_ = 0;
  char fields_[48] = {};
};

KeyboardUser& Keyboard();
