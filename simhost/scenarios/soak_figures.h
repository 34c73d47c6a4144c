#pragma once
// What a soak of the simulated game shows, read from its folder: the game's record (its own counts,
// checks, events and process samples), the plug-in's log (telemetry) and its motion trace. The soak
// test judges these figures; scripts/soak.sh prints them side by side for a run with the plug-in
// and one without it.

#include <cstdint>
#include <map>
#include <string>

namespace driftglass::soak {

// The bar a soak must meet after its warm-up (every event once), however long it runs: the
// process's private bytes, handles and threads grow by no more than these. A minute of frames,
// ticks and mouse packets leaking 40 bytes each would already pass the first.
constexpr uint64_t kSoakPrivateBytesGrowth = 256 * 1024;
constexpr uint64_t kSoakHandlesGrowth = 4;
constexpr uint64_t kSoakThreadsGrowth = 1;

struct ProcessPoint {
  double seconds = 0;
  uint32_t ticks = 0;
  uint64_t privateBytes = 0;
  uint64_t workingSet = 0;
  uint64_t handles = 0;
  uint64_t threads = 0;
};

struct SoakFigures {
  bool recordRead = false;
  // The game's own counts.
  uint64_t frames = 0, ticks = 0, onDraw = 0, onPostRender = 0, checks = 0, failures = 0;
  uint64_t keyPresses = 0;            // F9 presses the player made
  uint64_t keyPressesToTheGame = 0;   // of them, made while the game's window had the foreground
  std::map<std::string, uint64_t> eventsByFamily, eventsByName, pacings;
  uint32_t warmUpTick = 0;
  // What the mouse sent reaching the game: every count SDL2 received, read by gameplay or the GUI.
  int64_t mouseReadX = 0, mouseReadY = 0, sdlX = 0, sdlY = 0;
  // The plug-in's side (all zero without it).
  bool telemetry = false;
  uint64_t telemetryTicks = 0, telemetrySceneRender = 0, telemetryOnDraw = 0, telemetryOnPostRender = 0;
  uint64_t compareSwitches = 0;
  uint64_t traceRows = 0;
  uint64_t traceRowsOfTheirFrame = 0;  // row i read its clock inside frame i's render, at its tick
  uint64_t traceWritten = 0, traceDropped = 0;  // the last "MotionTrace written=" line
  // The process, sampled every second: first sample, first one after the warm-up, last one, and
  // the largest of each value from the warm-up on.
  ProcessPoint start, warm, end, most;
  uint64_t samples = 0;
};

// Reads folder\record.txt, folder\Driftglass.log and folder\Driftglass.motion.csv.
SoakFigures ReadSoakFigures(const std::wstring& folder);

// Whether a run with the plug-in meets the bar: nothing broken, every frame in the trace once,
// the telemetry's sums the game's counts, and no growth beyond the bounds after the warm-up.
bool MeetsTheSoakBar(const SoakFigures& f);

}  // namespace driftglass::soak
