// The shipped DLL, loaded the way a game's DLL loader does, judged by the log it writes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/product_version.h"
#include "support/build_paths.h"
#include "support/game_run.h"
#include "support/log_lines.h"
#include "support/process_runner.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using Lines = std::vector<std::string>;
using test::GameRun;
using test::GameSetup;
using test::TempFolder;
using test::ToUtf8;

constexpr uint32_t kTimeoutMs = 60000;
const std::wstring kBuiltPlugin = DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.dll";

// What a player sees in the DLL's properties is the version its log names.
TEST(PluginStart, TheDllCarriesTheVersionItsLogNames) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(kBuiltPlugin.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(kBuiltPlugin.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (DRIFTGLASS_VERSION_MAJOR << 16) | DRIFTGLASS_VERSION_MINOR);
  EXPECT_EQ(fixed->dwFileVersionLS, DRIFTGLASS_VERSION_PATCH << 16);
  wchar_t* text = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                             reinterpret_cast<void**>(&text), &length));
  EXPECT_EQ(std::wstring(text), L"" DRIFTGLASS_VERSION_TEXT);

  GameSetup setup;
  setup.ini = "[Features]\r\n";
  GameRun run;
  test::RunGame(setup, run);
  EXPECT_TRUE(run.HasLine("INFO Driftglass " DRIFTGLASS_VERSION_TEXT " bootstrap starting (x86)"));
}

TEST(PluginStart, MissingConfigurationInTheSimulatedGame) {
  GameSetup setup;
  setup.ini = test::kNoIni;
  GameRun run;
  RunGame(setup, run);
  ASSERT_EQ(run.log.size(), 5u);
  EXPECT_EQ(run.log[3], "ERROR Configuration file not found: " +
                            ToUtf8(run.folder->File(L"Driftglass.ini")));
  EXPECT_TRUE(run.PatchedEntries().empty());
}

TEST(PluginStart, RunsAgainAppendToTheSameLog) {
  GameSetup setup;
  setup.ini = "[General]\r\nEnabled=off\r\n";
  GameRun run;
  RunGame(setup, run);
  RunGame(setup, run);
  ASSERT_EQ(run.log.size(), 8u);
  EXPECT_EQ(run.log[4], "INFO Driftglass " DRIFTGLASS_VERSION_TEXT " bootstrap starting (x86)");
  EXPECT_EQ(run.log[7], "INFO Plugin disabled by [General] Enabled=false.");
}

// A copy placed in a folder of its own.
struct PluginCopy {
  TempFolder folder;
  std::wstring plugin = folder.File(L"Driftglass.dll");
  std::wstring log = folder.File(L"Driftglass.log");

  explicit PluginCopy(const std::string& ini) {
    CopyFileW(kBuiltPlugin.c_str(), plugin.c_str(), FALSE);
    test::WriteFileBytes(folder.File(L"Driftglass.ini"), ini);
  }
};

// Two copies loaded into one process run independent start-ups; in a process that is not the
// game the default configuration fails closed at the first signature.
TEST(PluginStart, LoadedIntoAnotherProcessFailsClosed) {
  PluginCopy first("");
  PluginCopy second("[General]\r\nEnabled=false\r\n");
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
