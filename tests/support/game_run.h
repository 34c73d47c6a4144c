#pragma once
// Runs the simulated game with the plug-in in a fresh game folder and collects what a user
// would look at: the plug-in's log, the telemetry lines, the motion trace and the game's record.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace driftglass::test {

// As GameSetup::ini: leave the folder without an INI.
inline const std::string kNoIni = "<no ini>";

struct GameSetup {
  std::wstring variant = L"simhost";  // build folder of the game build to run
  std::wstring plugin;                // default: the built Driftglass.dll
  bool loadPlugin = true;             // false: the game alone
  std::string ini;                    // Driftglass.ini beside the plug-in
  std::string scenario = "duration_seconds=0.5\n";
  uint32_t timeoutMs = 120000;
  // Where the plug-in's own folder (DLL, INI, log, trace) is made; empty: the run's folder.
  std::wstring pluginParent;
};

struct EntryReport {
  uint32_t rva = 0;
  bool patched = false;
};

struct GameRun {
  std::unique_ptr<TempFolder> folder;
  std::unique_ptr<TempFolder> pluginFolder;  // only with GameSetup::pluginParent
  bool finished = false;
  uint32_t exitCode = 0;
  std::vector<std::string> log;  // "LEVEL text"
  std::map<std::string, EntryReport> entries;
  std::map<std::string, uint64_t> summary;
  std::vector<std::string> failedInvariants;
  std::vector<std::string> facts;  // the game's "fact" lines, without the word
  std::vector<size_t> factFrames;  // per fact, the index in frames of the frame it was recorded in
  std::string motionTrace;
  // With logic_digest=1: the game's "logic" line after each tick (tick, world, player, all, each
  // part, the player's angles and the input's numbers, as text), and each part's field names.
  std::vector<std::map<std::string, std::string>> logic;
  std::map<std::string, std::string> logicFields;
  // The game's frame lines, as key -> value, with the truth at the end of each frame's render
  // (truth_raw_end, truth_alpha_end, expected_ticks_end).
  std::vector<std::map<std::string, double>> frames;

  std::vector<std::string> PatchedEntries() const;
  bool HasLine(const std::string& line) const;
  // Lines starting with prefix.
  std::vector<std::string> LinesStartingWith(const std::string& prefix) const;
};

// Runs the game once; a run whose folder is set already runs again in that folder.
void RunGame(const GameSetup& setup, GameRun& run);
// Runs the ordinary game once in a fresh folder with this INI and scenario.
GameRun PlayGame(const std::string& ini, const std::string& scenario);

// The game finished by itself, exited 0, and every invariant it checked held.
void ExpectCleanRun(const GameRun& run);

// The unsigned value after "key=" in a line (0 when absent).
uint64_t FieldValue(const std::string& line, const std::string& key);
// The same inside one group of a telemetry line, e.g. GroupValue(line, "Camera", "invalid").
uint64_t GroupValue(const std::string& line, const std::string& group, const std::string& key);
// Sum of a key over all telemetry lines of a run.
uint64_t TelemetryTotal(const GameRun& run, const std::string& group, const std::string& key);

// The numbers of the game's "fact NAME key=value ..." line (empty when there is none).
std::map<std::string, double> FactNumbers(const GameRun& run, const std::string& name);

using Frame = std::map<std::string, double>;

// A frame's drawn simulation time, in ticks, against the game's clock: the plug-in reads its own
// inside the render, so a correct frame shows a time between the game's readings at the start
// (expected_ticks) and at the end of the render (expected_ticks_end). A busy machine that pauses
// the game in between widens that bracket; tolerance covers the tick clock's offset and rounding.
bool ShownWhereTheGamesClockSays(const Frame& frame, double shownTicks, double tolerance = 0.01);
// The game's clock put the frame within the accepted range from the start to the end of its
// render, so the plug-in's own reading, taken in between, was accepted too.
bool AcceptedThroughTheRender(const Frame& frame);
// After an event: whether one of the first four frames from tick `fromTick` on that the game's
// clock accepts through the render (and `judged` allows, by frame index) shows the feature at work
// again. Counted in frames, so a late frame on a busy machine does not skip the window.
bool RecoversWithinFourFrames(const GameRun& run, double fromTick, const std::function<bool(const Frame&)>& shows,
                              const std::function<bool(size_t)>& judged = nullptr);
// How far a quantity that moves `perTick` in a tick may stray from its blend at the render's start.
double TruthSlack(const Frame& frame, double perTick);

// A fact the game records when the plug-in could not put a correction back ("name=N value=V",
// V 1 when the bytes it left differ from the engine's own): once, and with value 1 unless the
// game's clock put that frame at the newest tick (or `blends` says the frame could not blend),
// where the correction is the engine's own bytes.
void ExpectCorrectionLeft(const GameRun& run, const std::string& name, const std::vector<bool>& blends = {});

// Per frame: whether some earlier frame was drawn while the tick before this frame's newest was the
// newest. A palette the plug-in samples at a tick's first frame has nothing to blend from
// otherwise (the game caught up two ticks at once, as on a busy machine).
std::vector<bool> PreviousTickDrawn(const GameRun& run);

// The motion trace's data rows split into columns.
std::vector<std::vector<std::string>> TraceRows(const std::string& trace);

}  // namespace driftglass::test
