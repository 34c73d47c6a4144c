#include "support/game_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>

#include "support/build_paths.h"
#include "support/log_lines.h"
#include "support/process_runner.h"

namespace driftglass::test {
namespace {

// "key=value key=value ..." into fields.
void ParseFields(const std::string& text, std::map<std::string, double>& fields) {
  std::istringstream words(text);
  std::string field;
  while (words >> field) {
    const size_t equals = field.find('=');
    fields[field.substr(0, equals)] = strtod(field.c_str() + equals + 1, nullptr);
  }
}

void ParseRecord(const std::string& text, GameRun& run) {
  std::istringstream lines(text);
  std::string line;
  std::map<std::string, double> renderEnd;  // the game's truth when the coming frame's render returned
  while (std::getline(lines, line)) {
    if (line.rfind("entry name=\"", 0) == 0) {
      const size_t end = line.find('"', 12);
      EntryReport report;
      report.rva = static_cast<uint32_t>(strtoul(line.c_str() + line.find("rva=") + 4, nullptr, 16));
      report.patched = line.find("patched=1") != std::string::npos;
      run.entries[line.substr(12, end - 12)] = report;
    } else if (line.rfind("fact ", 0) == 0) {
      run.facts.push_back(line.substr(5));
      run.factFrames.push_back(run.frames.size());  // a frame's line follows what it recorded
    } else if (line.rfind("invariant ", 0) == 0 && line.find(" ok=0") != std::string::npos) {
      run.failedInvariants.push_back(line);
    } else if (line.rfind("frame_truth_end ", 0) == 0) {
      ParseFields(line.substr(16), renderEnd);
    } else if (line.rfind("frame ", 0) == 0) {
      std::map<std::string, double> frame;
      ParseFields(line.substr(6), frame);
      frame.insert(renderEnd.begin(), renderEnd.end());
      renderEnd.clear();
      run.frames.push_back(frame);
    } else if (line.rfind("logic ", 0) == 0 || line.rfind("logic_fields ", 0) == 0) {
      std::map<std::string, std::string> fields;
      std::istringstream pairs(line.substr(line.find(' ') + 1));
      std::string pair;
      while (pairs >> pair) {
        const size_t equals = pair.find('=');
        if (equals != std::string::npos) fields[pair.substr(0, equals)] = pair.substr(equals + 1);
      }
      if (line[5] == ' ') {
        run.logic.push_back(fields);
      } else {
        run.logicFields[fields["part"]] = fields["fields"];
      }
    } else if (line.rfind("summary ", 0) == 0) {
      std::istringstream fields(line.substr(8));
      std::string field;
      while (fields >> field) {
        const size_t equals = field.find('=');
        run.summary[field.substr(0, equals)] = strtoull(field.c_str() + equals + 1, nullptr, 10);
      }
    }
  }
}

}  // namespace

void ExpectCleanRun(const GameRun& run) {
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  for (const std::string& failure : run.failedInvariants) ADD_FAILURE() << failure;
  EXPECT_EQ(run.entries.size(), 26u) << "the game reported every entry point";
}

bool ShownWhereTheGamesClockSays(const Frame& frame, double shownTicks, double tolerance) {
  return shownTicks >= frame.at("expected_ticks") - tolerance &&
         shownTicks <= frame.at("expected_ticks_end") + tolerance;
}

bool AcceptedThroughTheRender(const Frame& frame) {
  const double rawEnd = frame.at("truth_raw_end");
  return frame.at("truth_valid") != 0 && rawEnd <= 2.25 && rawEnd - frame.at("truth_phase") <= 1.25;
}

bool RecoversWithinFourFrames(const GameRun& run, double fromTick, const std::function<bool(const Frame&)>& shows,
                              const std::function<bool(size_t)>& judged) {
  int looked = 0;
  for (size_t i = 0; i < run.frames.size() && looked < 4; ++i) {
    const Frame& frame = run.frames[i];
    if (frame.at("ticks") < fromTick || !AcceptedThroughTheRender(frame) || (judged && !judged(i))) continue;
    ++looked;
    if (shows(frame)) return true;
  }
  return false;
}

double TruthSlack(const Frame& frame, double perTick) {
  return perTick * (frame.at("expected_ticks_end") - frame.at("expected_ticks"));
}

void ExpectCorrectionLeft(const GameRun& run, const std::string& name, const std::vector<bool>& blends) {
  ASSERT_EQ(run.facts.size(), 1u) << "one correction left";
  const std::string& fact = run.facts[0];
  ASSERT_EQ(fact.rfind("name=" + name + " value=", 0), 0u) << fact;
  ASSERT_LT(run.factFrames[0], run.frames.size());
  const Frame& frame = run.frames[run.factFrames[0]];
  const bool between = frame.at("truth_valid") != 0 && frame.at("truth_alpha_end") < 0.99 &&
                       (blends.empty() || blends[run.factFrames[0]]);
  if (between) {
    EXPECT_EQ(fact.back(), '1') << fact << " in frame " << frame.at("index");
  }
}

std::vector<bool> PreviousTickDrawn(const GameRun& run) {
  std::vector<bool> seen;
  std::set<double> drawn;
  for (const Frame& frame : run.frames) {
    seen.push_back(drawn.count(frame.at("ticks") - 1) > 0);
    drawn.insert(frame.at("ticks"));
  }
  return seen;
}

uint64_t FieldValue(const std::string& line, const std::string& key) {
  for (size_t at = line.find(key + "="); at != std::string::npos; at = line.find(key + "=", at + 1)) {
    // The key must start a word: "ticks=" is not "Clockticks=".
    if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '(') {
      return strtoull(line.c_str() + at + key.size() + 1, nullptr, 10);
    }
  }
  return 0;
}

uint64_t GroupValue(const std::string& line, const std::string& group, const std::string& key) {
  const size_t start = line.find(" " + group + "(");
  if (start == std::string::npos) return 0;
  // The group ends at the first ")" that closes it (nested groups open and close inside).
  int depth = 0;
  size_t end = start;
  for (size_t i = start; i < line.size(); ++i) {
    if (line[i] == '(') ++depth;
    if (line[i] == ')' && --depth == 0) {
      end = i;
      break;
    }
  }
  // Nested groups are skipped unless the key is looked up inside them.
  const std::string body = line.substr(start, end - start);
  const size_t nested = body.find("viewFail(");
  if (group == "Camera" && nested != std::string::npos) {
    const size_t close = body.find(')', nested);
    return FieldValue(body.substr(0, nested) + body.substr(close + 1), key);
  }
  return FieldValue(body, key);
}

uint64_t TelemetryTotal(const GameRun& run, const std::string& group, const std::string& key) {
  uint64_t total = 0;
  for (const std::string& line : run.LinesStartingWith("INFO Telemetry interval=")) {
    total += group.empty() ? FieldValue(line, key) : GroupValue(line, group, key);
  }
  return total;
}

std::map<std::string, double> FactNumbers(const GameRun& run, const std::string& name) {
  std::map<std::string, double> fields;
  for (const std::string& fact : run.facts) {
    if (fact.rfind(name + " ", 0) != 0) continue;
    std::istringstream words(fact);
    std::string word;
    while (words >> word) {
      const size_t equals = word.find('=');
      if (equals != std::string::npos) fields[word.substr(0, equals)] = std::strtod(word.c_str() + equals + 1, nullptr);
    }
  }
  return fields;
}

std::vector<std::vector<std::string>> TraceRows(const std::string& trace) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(trace);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> columns;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) columns.push_back(field);
    rows.push_back(columns);
  }
  return rows;
}

std::vector<std::string> GameRun::PatchedEntries() const {
  std::vector<std::string> names;
  for (const auto& [name, report] : entries) {
    if (report.patched) names.push_back(name);
  }
  return names;
}

bool GameRun::HasLine(const std::string& line) const {
  for (const std::string& entry : log) {
    if (entry == line) return true;
  }
  return false;
}

std::vector<std::string> GameRun::LinesStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& entry : log) {
    if (entry.rfind(prefix, 0) == 0) found.push_back(entry);
  }
  return found;
}

GameRun PlayGame(const std::string& ini, const std::string& scenario) {
  GameSetup setup;
  setup.ini = ini;
  setup.scenario = scenario;
  GameRun run;
  RunGame(setup, run);
  return run;
}

void RunGame(const GameSetup& setup, GameRun& run) {
  if (run.folder == nullptr) run.folder = std::make_unique<TempFolder>();  // else: run again there
  if (!setup.pluginParent.empty() && run.pluginFolder == nullptr) {
    run.pluginFolder = std::make_unique<TempFolder>(setup.pluginParent);
  }
  const TempFolder& pluginFolder = run.pluginFolder != nullptr ? *run.pluginFolder : *run.folder;
  const std::wstring plugin = pluginFolder.File(L"Driftglass.dll");
  CopyFileW((setup.plugin.empty() ? DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.dll" : setup.plugin.c_str()),
            plugin.c_str(), FALSE);
  if (setup.ini != kNoIni) WriteFileBytes(pluginFolder.File(L"Driftglass.ini"), setup.ini);
  WriteFileBytes(run.folder->File(L"scenario.txt"), setup.scenario);
  const std::wstring record = run.folder->File(L"record.txt");
  const std::wstring game = std::wstring(DRIFTGLASS_BUILD_DIR) + L"\\" + setup.variant + L"\\simhost.exe";
  const std::wstring pluginArgument = setup.loadPlugin ? L" --plugin \"" + plugin + L"\"" : L"";
  const ProcessResult result = RunProcess(L"\"" + game + L"\"" + pluginArgument +
                                              L" --scenario \"" + run.folder->File(L"scenario.txt") +
                                              L"\" --record \"" + record + L"\"",
                                          setup.timeoutMs);
  run.finished = result.finished;
  run.exitCode = result.exitCode;
  run.log = LogEntriesOfFile(pluginFolder.File(L"Driftglass.log"));
  ParseRecord(ReadFileBytes(record), run);
  run.motionTrace = ReadFileBytes(pluginFolder.File(L"Driftglass.motion.csv"));
}

}  // namespace driftglass::test
