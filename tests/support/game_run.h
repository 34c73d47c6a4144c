#pragma once
// Runs the simulated game with the plug-in in a fresh game folder and collects what a user
// would look at: the plug-in's log, the telemetry lines, the motion trace and the game's record.

#include <cstdint>
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
  std::string motionTrace;
  // The game's frame lines, as key -> value.
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

// The motion trace's data rows split into columns.
std::vector<std::vector<std::string>> TraceRows(const std::string& trace);

}  // namespace driftglass::test
