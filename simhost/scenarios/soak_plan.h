#pragma once
// A soak: hours of play compressed into a seeded, random mix of every event the scenarios know,
// drawn by the game itself from `soak_seed` over the whole run, with the frame pacing changing in
// stretches of a few seconds between fixed rates, jittered rates and uncapped frames. A warm-up
// (the first 15 seconds of play) has every event once; the steady part after it has each at its
// own rate. The same seed always gives the same events at the same ticks and the same stretches,
// so a run with the plug-in and one without it play the same game.
//
//   soak_seed=N            draw the soak (N > 0); the scenario's own events stay as well
//   process_samples=1      record the process's private bytes, working set, handles and threads
//                          every second ("fact process" lines)
//   frame_record=short     frame lines with the frame's time, ticks and camera only
//   progress_seconds=60    a line on standard error after every this many seconds of play: the
//                          minutes played of how many, frames, events and invariant checks broken

#include <string>

#include "scenarios/scenario.h"

class HostRecord;

// Every event family the soak draws from, and the names in it.
struct SoakFamily {
  const char* family;
  const char* const* names;
  int count;
};
const SoakFamily* SoakFamilies(int& count);

bool IsSoakKey(const std::string& key);
bool ParseSoakKey(const std::string& key, const std::string& value, Scenario& scenario);

// Appends the soak's events and pacing stretches to the scenario.
void AddSoakPlan(Scenario& scenario);
// The tick by which every event has come once (the warm-up); the steady part follows.
uint32_t SoakWarmUpEndTick(const Scenario& scenario);
// One "fact soak_event" line per drawn event and one "fact soak_pacing" line per stretch.
void RecordSoakPlan(const Scenario& scenario, HostRecord& record);
