#include "bootstrap/settings_watcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "log/diagnostic_log.h"
#include "support/log_lines.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using Lines = std::vector<std::string>;

struct FakeSink final : SettingsSink {
  std::vector<LiveSettings> posted;
  bool applied = true;
  int traceStarts = 0, traceStops = 0;
  uint32_t interval = 0;
  void Post(const LiveSettings& settings) override {
    posted.push_back(settings);
    applied = false;
  }
  bool AllApplied() override { return applied; }
  bool StartTrace(std::wstring&) override { return ++traceStarts > 0; }
  void StopTrace() override { ++traceStops; }
  void SetReportInterval(uint32_t seconds) override { interval = seconds; }
};

// The start's INI with some keys replaced ("[Section]Key=value" each).
std::string Ini(std::vector<std::string> changes = {}) {
  std::vector<std::pair<std::string, std::vector<std::string>>> sections = {
      {"General", {"CompareKey=F9"}},
      {"Telemetry", {}},
      {"Features", {"RenderUnlock=1", "PresentationLimiter=1", "CameraInterpolation=1", "ParticleInterpolation=1"}},
      {"Timing", {"TargetFPS=100"}},
  };
  for (const std::string& change : changes) {
    const std::string section = change.substr(1, change.find(']') - 1);
    const std::string line = change.substr(change.find(']') + 1);
    const std::string key = line.substr(0, line.find('=') + 1);
    for (auto& [name, lines] : sections) {
      if (name != section) continue;
      std::erase_if(lines, [&](const std::string& l) { return l.rfind(key, 0) == 0; });
      lines.push_back(line);
    }
  }
  std::string text;
  for (const auto& [name, lines] : sections) {
    text += "[" + name + "]\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
  }
  return text;
}
const std::string kStart = Ini();

// A start with camera, particles and the render unlock; the INI is then saved as each step says
// and looked at until the watcher has taken it (or given up after a few looks).
struct Playing {
  test::TempFolder folder;
  std::wstring ini = folder.File(L"Driftglass.ini");
  std::wstring logPath = folder.File(L"Driftglass.log");
  DiagnosticLog log;
  FakeSink sink;
  PluginConfig started;
  SettingsWatcher* watcher = nullptr;

  explicit Playing(const std::string& atStart = kStart) {
    log.Open(logPath.c_str());
    test::WriteFileBytes(ini, atStart);
    started = LoadPluginConfig(ini).config;
    watcher = new SettingsWatcher(ini, started, log, sink);
  }
  ~Playing() { delete watcher; }
  Lines Save(const std::string& text) {
    const size_t before = test::LogEntriesOfFile(logPath).size();
    if (text.empty()) {
      DeleteFileW(ini.c_str());
    } else {
      test::WriteFileBytes(ini, text);
    }
    for (int look = 0; look < 3; ++look) watcher->Look();
    const Lines all = test::LogEntriesOfFile(logPath);
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  }
};



TEST(SettingsWatcher, AppliesWhatCanChangeWhilePlayingAndNamesWhatWaitsForTheNextStart) {
  Playing p;
  EXPECT_EQ(p.Save(Ini({"[Features]ParticleInterpolation=0", "[Timing]TargetFPS=50"})),
            (Lines{"INFO Settings changed: ParticleInterpolation true -> false, TargetFPS 100 -> 50."}));
  ASSERT_EQ(p.sink.posted.size(), 1u);
  const LiveSettings& s = p.sink.posted[0];
  EXPECT_TRUE(s.limiter && s.drawn.camera && !s.drawn.particles);
  EXPECT_EQ(s.targetFps, 50u);
  EXPECT_EQ(s.compareKey, static_cast<uint32_t>(VK_F9));

  // Not installed at start, or never live: one WARN line; what can change still applies.
  const std::vector<std::string> later = {"[General]Diagnostics=0", "[Features]WorldRootInterpolation=1",
                                          "[Features]ParticleInterpolation=0", "[Timing]TargetFPS=50",
                                          "[Timing]PhaseDelayPercent=20"};
  EXPECT_EQ(p.Save(Ini(later)),
            (Lines{"INFO Settings changed: PhaseDelayPercent 0 -> 20.",
                   "WARN Settings changed: Diagnostics true -> false, WorldRootInterpolation false -> true; each "
                   "takes effect at the next start."}));
  EXPECT_EQ(p.sink.posted.size(), 2u);
  // Named once: a later change does not repeat them.
  std::vector<std::string> unlockOff = later;
  unlockOff.push_back("[Features]RenderUnlock=0");
  EXPECT_EQ(p.Save(Ini(unlockOff)),
            (Lines{"WARN Settings changed: RenderUnlock true -> false takes effect at the next start."}));
  EXPECT_EQ(p.sink.posted.size(), 2u);
}

TEST(SettingsWatcher, ABadOrMissingFileChangesNothingAndSaysSoOnce) {
  Playing p;
  const std::string bad = Ini({"[Timing]TargetFPS=fast"});
  EXPECT_EQ(p.Save(bad), (Lines{"WARN Invalid [Timing] TargetFPS (expected 0..1000): fast; the running settings "
                                "stay."}));
  EXPECT_EQ(p.Save(bad), Lines{});
  EXPECT_EQ(p.Save(bad + "; saved again with a note, the same value still wrong\r\n"), Lines{});
  EXPECT_EQ(p.Save(""), (Lines{"WARN Configuration file not found: " + test::ToUtf8(p.ini) +
                               "; the running settings stay."}));
  EXPECT_TRUE(p.sink.posted.empty());
  // Back as it was: nothing changed; back with a change: it applies.
  EXPECT_EQ(p.Save(kStart), Lines{});
  EXPECT_EQ(p.Save(bad), (Lines{"WARN Invalid [Timing] TargetFPS (expected 0..1000): fast; the running settings "
                                "stay."}));
  EXPECT_EQ(p.Save(Ini({"[Timing]TargetFPS=0"})),
            (Lines{"INFO Settings changed: TargetFPS 100 -> 0."}));
}

TEST(SettingsWatcher, TheTraceOpensAtOnceAndClosesOnceTheFramesHaveStopped) {
  Playing p;
  p.Save(Ini({"[Telemetry]MotionTrace=1", "[Telemetry]ReportIntervalSeconds=2"}));
  EXPECT_EQ(p.sink.traceStarts, 1);
  EXPECT_EQ(p.sink.interval, 2u);
  ASSERT_EQ(p.sink.posted.size(), 1u);
  EXPECT_TRUE(p.sink.posted[0].motionTrace);
  p.Save(kStart);
  EXPECT_FALSE(p.sink.posted.back().motionTrace);
  EXPECT_EQ(p.sink.traceStops, 0);  // the main thread has not applied it yet
  // On again before the frames stopped: never opened anew under a publishing frame.
  p.Save(Ini({"[Telemetry]MotionTrace=1", "[Telemetry]ReportIntervalSeconds=2"}));
  EXPECT_EQ(p.sink.traceStarts, 1);
  p.sink.applied = true;
  p.watcher->Look();
  EXPECT_EQ(p.sink.traceStops, 0);
  p.Save(kStart);
  p.sink.applied = true;
  p.watcher->Look();
  EXPECT_EQ(p.sink.traceStops, 1);
}

TEST(SettingsWatcher, LiveKeysFollowWhatTheStartInstalled) {
  PluginConfig started;
  started.telemetryEnabled = false;
  started.features.worldPoseInterpolation = true;
  const SettingKeys live = LiveSettingKeys(started);
  EXPECT_NE(live & SettingBit(kSettingRagdollPoseInterpolation), 0u);
  EXPECT_NE(live & SettingBit(kSettingWorldPoseInterpolation), 0u);
  for (const uint32_t key : {kSettingEnabled, kSettingDiagnostics, kSettingTelemetryEnabled, kSettingRenderUnlock,
                             kSettingPresentationLimiter, kSettingMotionTrace, kSettingCameraInterpolation}) {
    EXPECT_EQ(live & SettingBit(key), 0u) << SettingName(key);
  }
}

}  // namespace
}  // namespace driftglass
