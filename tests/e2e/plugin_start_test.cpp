// The shipped DLL, loaded the way a game's DLL loader does, judged by the log it writes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/build_paths.h"
#include "support/log_lines.h"
#include "support/process_runner.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using Lines = std::vector<std::string>;
using test::TempFolder;
using test::ToUtf8;

constexpr uint32_t kTimeoutMs = 60000;
const std::wstring kBuiltPlugin = DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.dll";
const std::wstring kSampleIni = DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.ini";
const std::wstring kSimulatedGame = DRIFTGLASS_BUILD_DIR L"\\simhost\\simhost.exe";

// A game folder holding the plug-in and, optionally, its INI.
struct GameFolder {
  TempFolder folder;
  std::wstring plugin = folder.File(L"Driftglass.dll");
  std::wstring log = folder.File(L"Driftglass.log");

  explicit GameFolder(const std::string* ini) {
    CopyFileW(kBuiltPlugin.c_str(), plugin.c_str(), FALSE);
    if (ini != nullptr) test::WriteFileBytes(folder.File(L"Driftglass.ini"), *ini);
  }
};

std::string SampleIni() { return test::ReadFileBytes(kSampleIni); }

Lines RunSimulatedGame(const GameFolder& game) {
  const test::ProcessResult result =
      test::RunProcess(L"\"" + kSimulatedGame + L"\" --plugin \"" + game.plugin + L"\"", kTimeoutMs);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.exitCode, 0u) << "the game saw the plug-in's start-up end";
  return test::LogEntriesOfFile(game.log);
}

TEST(PluginStart, SampleConfigurationInTheSimulatedGameGetsPastValidation) {
  const std::string ini = SampleIni();
  ASSERT_FALSE(ini.empty());
  GameFolder game(&ini);
  const Lines lines = RunSimulatedGame(game);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "INFO Driftglass 1.0.1 bootstrap starting (x86)");
  EXPECT_EQ(lines[1], "DEBUG Plugin path: " + ToUtf8(game.plugin));
  EXPECT_EQ(lines[4], "DEBUG Host path: " + ToUtf8(kSimulatedGame));
  // Every signature and import of the simulated game resolved; only detours are missing.
  EXPECT_EQ(lines[5], "ERROR Hook initialization failed: engine hooks are not available in this build");
  EXPECT_EQ(lines[6], "ERROR Fail-closed: engine hooks were not left installed.");
}

TEST(PluginStart, MissingConfigurationInTheSimulatedGame) {
  GameFolder game(nullptr);
  const Lines lines = RunSimulatedGame(game);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], "ERROR Configuration file not found: " +
                          ToUtf8(game.folder.File(L"Driftglass.ini")));
}

TEST(PluginStart, RunsAgainAppendToTheSameLog) {
  const std::string ini = "[General]\r\nEnabled=off\r\n";
  GameFolder game(&ini);
  RunSimulatedGame(game);
  const Lines lines = RunSimulatedGame(game);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[4], "INFO Driftglass 1.0.1 bootstrap starting (x86)");
  EXPECT_EQ(lines[7], "INFO Plugin disabled by [General] Enabled=false.");
}

// Two copies loaded into one process run independent start-ups; in a process that is not the
// game the default configuration fails closed at the first signature.
TEST(PluginStart, LoadedIntoAnotherProcessFailsClosed) {
  const std::string defaults;
  const std::string disabled = "[General]\r\nEnabled=false\r\n";
  GameFolder first(&defaults);
  GameFolder second(&disabled);
  HMODULE a = LoadLibraryW(first.plugin.c_str());
  HMODULE b = LoadLibraryW(second.plugin.c_str());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  const std::string firstLog = test::WaitForFileText(first.log, "Fail-closed: ", kTimeoutMs);
  const std::string secondLog = test::WaitForFileText(second.log, "Plugin disabled", kTimeoutMs);
  const Lines firstLines = test::LogEntries(firstLog);
  ASSERT_EQ(firstLines.size(), 7u);
  EXPECT_EQ(firstLines[5],
            "ERROR Hook initialization failed: cEngine::Run: expected one signature match, found 0");
  EXPECT_EQ(test::LogEntries(secondLog).back(), "INFO Plugin disabled by [General] Enabled=false.");
  // The modules stay loaded: nothing is torn down, and unloading is the loader's business.
}

}  // namespace
}  // namespace driftglass
