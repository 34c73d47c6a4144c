#pragma once
// The player's keyboard: a compare_key event presses F9 (through SendInput, so the key takes the
// system's real path) after the frame at its tick and lets it go its duration later (at least
// three ticks, as a finger would). The engine reads keys once a tick, so a late frame never sends
// a press and its release together: the key stays down three ticks after it went down, and a
// press waits for a tick after the last release. The frame line carries the presses made so far.

#include <cstdint>
#include <vector>

#include "scenarios/scenario.h"

class HostRecord;

class KeyboardUser {
 public:
  void Init(const Scenario& scenario, HostRecord* record);
  void AfterFrame(uint32_t completedTicks);
  // Releases a key still held when the loop ends.
  void Finish();
  const char* FrameFields();

 private:
  struct Press {
    uint32_t downTick;
    uint32_t upTick;
    bool down;
  };
  HostRecord* record_ = nullptr;
  std::vector<Press> presses_;  // in tick order, none overlapping another (the scenario says so)
  size_t next_ = 0;
  uint32_t releasedAt_ = 0;  // completed ticks when the key was last let go
  uint32_t sent_ = 0;
  char fields_[48] = {};
};

KeyboardUser& Keyboard();
