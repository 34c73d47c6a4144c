#include "bootstrap/bootstrap_sequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/feature_summary.h"
#include "bootstrap/file_locations.h"
#include "bootstrap/product_version.h"
#include "install/hook_installer.h"
#include "log/diagnostic_log.h"
#include "support/log_lines.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using Lines = std::vector<std::string>;
using test::LogEntriesOfFile;
using test::TempFolder;
using test::ToUtf8;

void Capture(const wchar_t* text, void* context) {
  static_cast<std::vector<std::wstring>*>(context)->emplace_back(text);
}

// One plug-in start in a fresh folder with a fresh log; the test executable is the host.
struct Start {
  TempFolder folder;
  std::wstring plugin = folder.File(L"Driftglass.dll");
  std::wstring ini = folder.File(L"Driftglass.ini");
  std::wstring logPath = folder.File(L"Driftglass.log");
  std::vector<std::wstring> debugger;
  DiagnosticLog log;
  HookInstallation installation;
  uint32_t exitCode = 99;

  void WriteIni(const std::string& text) { test::WriteFileBytes(ini, text); }
  Lines Run() {
    log.SetDebugOutputSink(&Capture, &debugger);
    exitCode = RunBootstrapForPath(plugin, log, installation);
    return LogEntriesOfFile(logPath);
  }
  std::string PathUtf8(const std::wstring& path) const { return ToUtf8(path); }
};

std::string HostPathLine() { return "DEBUG Host path: " + ToUtf8(GetModulePath(nullptr)); }

TEST(Bootstrap, MissingConfigurationFailsClosed) {
  Start s;
  const Lines lines = s.Run();
  EXPECT_EQ(s.exitCode, kBootstrapConfigRejected);
  EXPECT_EQ(lines, (Lines{
                       "INFO Driftglass " DRIFTGLASS_VERSION_TEXT " bootstrap starting (x86)",
                       "DEBUG Plugin path: " + ToUtf8(s.plugin),
                       "DEBUG INI path: " + ToUtf8(s.ini),
                       "ERROR Configuration file not found: " + ToUtf8(s.ini),
                       "ERROR Fail-closed: no engine hooks were installed.",
                   }));
}

TEST(Bootstrap, InvalidValueFailsClosedEvenWithDiagnosticsOff) {
  Start s;
  s.WriteIni("[General]\r\nDiagnostics=false\r\n[Features]\r\nRenderUnlock=maybe\r\n");
  const Lines lines = s.Run();
  EXPECT_EQ(s.exitCode, kBootstrapConfigRejected);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], "ERROR Invalid boolean value for [Features] RenderUnlock: maybe");
}

TEST(Bootstrap, DisabledPluginStopsAfterReadingItsConfiguration) {
  Start s;
  s.WriteIni("[General]\r\nEnabled=false\r\n[Features]\r\nRenderUnlock=true\r\n");
  const Lines lines = s.Run();
  EXPECT_EQ(s.exitCode, kBootstrapCompleted);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], "INFO Plugin disabled by [General] Enabled=false.");
}

TEST(Bootstrap, NothingRequestedSkipsValidation) {
  Start s;
  s.WriteIni("[Telemetry]\r\nEnabled=false\r\n[Features]\r\nPresentationLimiter=true\r\n"
             "RagdollPoseInterpolation=true\r\n");
  const Lines lines = s.Run();
  EXPECT_EQ(s.exitCode, kBootstrapCompleted);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[3].rfind("DEBUG Requested features: RenderUnlock=false, PresentationLimiter=true", 0), 0u);
  EXPECT_EQ(lines[4].rfind("DEBUG Host path: ", 0), 0u);
  EXPECT_EQ(lines[5], "WARN PresentationLimiter needs RenderUnlock: without it the engine caps its own "
                      "frame rate. The presentation limiter stays off.");
  EXPECT_EQ(lines[6], "INFO No engine hooks were requested; executable signature validation was skipped.");
}

TEST(Bootstrap, DefaultConfigurationValidatesTheHostAndFailsClosedOnMismatch) {
  Start s;
  s.WriteIni("");
  const Lines lines = s.Run();
  EXPECT_EQ(s.exitCode, kBootstrapHooksFailed);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[3],
            "DEBUG Requested features: RenderUnlock=false, PresentationLimiter=false, "
            "CameraInterpolation=false, HandsRootInterpolation=false, WorldRootInterpolation=false, "
            "HandsPoseInterpolation=false, WorldPoseInterpolation=false, "
            "RagdollPoseInterpolation=true, ParticleInterpolation=false, ImageTrailTiming=false, "
            "MouseOverlay=false, TargetFPS=0, Telemetry=true, MotionTrace=false, "
            "TelemetryInterval=5s");
  EXPECT_EQ(lines[4], HostPathLine());
  // This test executable is not the game, so the first signature already fails.
  EXPECT_EQ(lines[5],
            "ERROR Hook initialization failed: cEngine::Run: expected one signature match, found 0");
  EXPECT_EQ(lines[6], "ERROR Fail-closed: engine hooks were not left installed.");
}

// A phase other than the default, a limiter rate below 30 and a compare key with nothing to switch
// are announced just before the installer runs, and only then.
TEST(Bootstrap, NotesOnTheSettingsComeBeforeInstalling) {
  const std::string failed = "ERROR Hook initialization failed: cEngine::Run: expected one signature match, found 0";
  const std::string closed = "ERROR Fail-closed: engine hooks were not left installed.";
  const std::string limiter = "[Features]\r\nRenderUnlock=1\r\nPresentationLimiter=1\r\n[Timing]\r\nTargetFPS=";
  const std::string keyUnread =
      "WARN Compare key Pause has nothing to switch: none of CameraInterpolation, HandsRootInterpolation, "
      "WorldRootInterpolation, HandsPoseInterpolation, WorldPoseInterpolation, ParticleInterpolation, "
      "ImageTrailTiming and MouseOverlay's look preview is on. The key is not read.";
  const struct {
    std::string ini;
    Lines tail;  // the lines after the host path line
  } cases[] = {
      {"[Timing]\r\nPhaseDelayPercent=55\r\n",
       {"INFO Presentation phase delay: 55% of a frame (default 0%).", failed, closed}},
      {"[Timing]\r\nPhaseDelayPercent=0\r\n", {failed, closed}},
      {"[Telemetry]\r\nEnabled=false\r\n[Timing]\r\nPhaseDelayPercent=20\r\n",
       {"INFO No engine hooks were requested; executable signature validation was skipped."}},
      {limiter + "20\r\n",
       {"WARN [Timing] TargetFPS=20 is below 30: the game's logic still steps 60 times a second, so it runs "
        "in bursts of up to 3 steps between two frames, and input and motion react in jumps. Pacing at it "
        "anyway.",
        failed, closed}},
      {limiter + "29\r\n",
       {"WARN [Timing] TargetFPS=29 is below 30: the game's logic still steps 60 times a second, so it runs "
        "in bursts of up to 3 steps between two frames, and input and motion react in jumps. Pacing at it "
        "anyway.",
        failed, closed}},
      {limiter + "30\r\n", {failed, closed}},
      // The mouse overlay draws no correction of its own: the key would switch nothing.
      {"[General]\r\nCompareKey=Pause\r\n[Features]\r\nMouseOverlay=1\r\n", {keyUnread, failed, closed}},
      {"[General]\r\nCompareKey=Pause\r\n[Telemetry]\r\nEnabled=false\r\n",
       {keyUnread, "INFO No engine hooks were requested; executable signature validation was skipped."}},
      {"[General]\r\nCompareKey=Pause\r\n[Features]\r\nParticleInterpolation=1\r\n", {failed, closed}},
      {limiter + "0\r\n", {failed, closed}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    Start s;
    s.WriteIni(c.ini);
    const Lines lines = s.Run();
    ASSERT_EQ(lines.size(), 5 + c.tail.size());
    EXPECT_EQ(lines[4], HostPathLine());
    EXPECT_EQ(Lines(lines.begin() + 5, lines.end()), c.tail);
  }
  Start invalid;
  invalid.WriteIni("[Timing]\r\nPhaseDelayPercent=101\r\n");
  const Lines lines = invalid.Run();
  EXPECT_EQ(invalid.exitCode, kBootstrapConfigRejected);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], "ERROR Out-of-range value for [Timing] PhaseDelayPercent (expected 0..100): 101");
  EXPECT_EQ(lines[4], "ERROR Fail-closed: no engine hooks were installed.");
}

TEST(Bootstrap, DiagnosticsOffDropsLaterDebugLinesOnly) {
  Start s;
  s.WriteIni("[General]\r\nDiagnostics=0\r\n");
  const Lines lines = s.Run();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].rfind("DEBUG Plugin path: ", 0), 0u);
  EXPECT_EQ(lines[2].rfind("DEBUG INI path: ", 0), 0u);
  EXPECT_EQ(lines[3].rfind("ERROR Hook initialization failed: ", 0), 0u);
}

class LocalAppDataOverride {
 public:
  explicit LocalAppDataOverride(const wchar_t* value) {
    wchar_t saved[32768];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, 32768);
    if (length > 0 && length < 32768) saved_.assign(saved, length);
    SetEnvironmentVariableW(L"LOCALAPPDATA", value);
  }
  ~LocalAppDataOverride() {
    SetEnvironmentVariableW(L"LOCALAPPDATA", saved_.empty() ? nullptr : saved_.c_str());
  }

 private:
  std::wstring saved_;
};

TEST(Bootstrap, FallsBackToLocalAppDataWhenTheSiblingLogCannotBeWritten) {
  Start s;
  s.WriteIni("[Telemetry]\r\nEnabled=false\r\n");
  CreateDirectoryW(s.logPath.c_str(), nullptr);  // a folder where the log file should be
  TempFolder appData;
  LocalAppDataOverride environment(appData.path().c_str());
  s.Run();
  const std::wstring fallback = appData.path() + L"\\Driftglass\\Driftglass.log";
  const Lines lines = LogEntriesOfFile(fallback);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "WARN Could not write the sibling log; using: " + ToUtf8(fallback));
  EXPECT_EQ(lines[1], "INFO Driftglass " DRIFTGLASS_VERSION_TEXT " bootstrap starting (x86)");
  EXPECT_EQ(s.exitCode, kBootstrapCompleted);
}

TEST(Bootstrap, WithoutAnyLogFileEveryLineStillReachesTheDebugger) {
  Start s;
  s.WriteIni("[Telemetry]\r\nEnabled=false\r\n");
  CreateDirectoryW(s.logPath.c_str(), nullptr);
  LocalAppDataOverride environment(nullptr);
  s.Run();
  ASSERT_EQ(s.debugger.size(), 7u);
  EXPECT_EQ(s.debugger[0], L"[Driftglass] Could not open either diagnostic log path.\n");
  EXPECT_NE(s.debugger[1].find(L"[INFO] Driftglass " DRIFTGLASS_VERSION_TEXT L" bootstrap starting (x86)\r\n"),
            std::wstring::npos);
  EXPECT_NE(s.debugger[6].find(L"No engine hooks were requested"), std::wstring::npos);
}

TEST(Bootstrap, UnresolvedModulePathWritesNoLog) {
  DiagnosticLog log;
  std::vector<std::wstring> debugger;
  log.SetDebugOutputSink(&Capture, &debugger);
  HookInstallation installation;
  EXPECT_EQ(RunBootstrap(reinterpret_cast<HMODULE>(0x10), log, installation),
            kBootstrapNoModulePath);
  EXPECT_EQ(debugger, std::vector<std::wstring>{L"[Driftglass] Could not resolve plugin module path.\n"});
  EXPECT_FALSE(log.HasFile());
}

TEST(FeatureSummary, RequestDecision) {
  PluginConfig config;
  EXPECT_TRUE(AnyEngineHookRequested(config));  // telemetry alone asks for the read-only hooks
  config.telemetryEnabled = false;
  config.features.presentationLimiter = true;
  config.features.ragdollPoseInterpolation = true;
  EXPECT_FALSE(AnyEngineHookRequested(config));
  config.features.imageTrailTiming = true;
  EXPECT_TRUE(AnyEngineHookRequested(config));
}

}  // namespace
}  // namespace driftglass
