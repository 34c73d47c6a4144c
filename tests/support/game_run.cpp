#include "support/game_run.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "support/build_paths.h"
#include "support/log_lines.h"
#include "support/process_runner.h"

namespace driftglass::test {
namespace {

void ParseRecord(const std::string& text, GameRun& run) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("entry name=\"", 0) == 0) {
      const size_t end = line.find('"', 12);
      EntryReport report;
      report.rva = static_cast<uint32_t>(strtoul(line.c_str() + line.find("rva=") + 4, nullptr, 16));
      report.patched = line.find("patched=1") != std::string::npos;
      run.entries[line.substr(12, end - 12)] = report;
    } else if (line.rfind("invariant ", 0) == 0 && line.find(" ok=0") != std::string::npos) {
      run.failedInvariants.push_back(line);
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

uint64_t FieldValue(const std::string& line, const std::string& key) {
  for (size_t at = line.find(key + "="); at != std::string::npos; at = line.find(key + "=", at + 1)) {
    // The key must start a word: "ticks=" is not "Clockticks=".
    if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '(') {
      return strtoull(line.c_str() + at + key.size() + 1, nullptr, 10);
    }
  }
  return 0;
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

void RunGame(const GameSetup& setup, GameRun& run) {
  if (run.folder == nullptr) run.folder = std::make_unique<TempFolder>();  // else: run again there
  const std::wstring plugin = run.folder->File(L"Driftglass.dll");
  CopyFileW((setup.plugin.empty() ? DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.dll" : setup.plugin.c_str()),
            plugin.c_str(), FALSE);
  if (setup.ini != kNoIni) WriteFileBytes(run.folder->File(L"Driftglass.ini"), setup.ini);
  WriteFileBytes(run.folder->File(L"scenario.txt"), setup.scenario);
  const std::wstring record = run.folder->File(L"record.txt");
  const std::wstring game = std::wstring(DRIFTGLASS_BUILD_DIR) + L"\\" + setup.variant + L"\\simhost.exe";
  const ProcessResult result = RunProcess(L"\"" + game + L"\" --plugin \"" + plugin +
                                              L"\" --scenario \"" + run.folder->File(L"scenario.txt") +
                                              L"\" --record \"" + record + L"\"",
                                          setup.timeoutMs);
  run.finished = result.finished;
  run.exitCode = result.exitCode;
  run.log = LogEntriesOfFile(run.folder->File(L"Driftglass.log"));
  ParseRecord(ReadFileBytes(record), run);
  run.motionTrace = ReadFileBytes(run.folder->File(L"Driftglass.motion.csv"));
}

}  // namespace driftglass::test
