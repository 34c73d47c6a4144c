#pragma once
// Which of a scenario's events are under way at a tick, looked up by name in an index built once
// per scenario, so a run with thousands of events costs the loop no more than one with three.
//
// An event lasts from its tick for its duration (at least one tick). The events that change
// something "for good" (switch_object, bone_count, pose_bone_count, ragdoll_rest) last for good
// when written without a duration and for their duration when written with one.

#include <cstdint>

#include "scenarios/scenario.h"

// An instance of `name` covers `tick`.
bool EventActive(const Scenario& s, const char* name, uint32_t tick);
// As EventActive, but an instance written without a duration lasts for good from its tick.
bool EventStarted(const Scenario& s, const char* name, uint32_t tick);
// How many instances of `name` begin exactly at `tick`.
uint32_t EventsStartingAt(const Scenario& s, const char* name, uint32_t tick);

// Walks the instances of one event in tick order, each taken once: by the first call whose tick
// has reached the instance's (a late frame still takes it, as the game would act on it late).
class EventCursor {
 public:
  EventCursor() = default;
  EventCursor(const Scenario& s, const char* name);
  // The scenario index of the next instance whose tick has come, or -1.
  int Take(uint32_t tick);
  // Whether an instance has come that is not taken yet (without taking it).
  bool Due(uint32_t tick) const;

 private:
  const void* list_ = nullptr;
  uint32_t next_ = 0;
};

// When two events of a scenario cannot overlap, names both in error and returns false.
bool CheckEventOverlaps(const Scenario& s, std::string& error);
