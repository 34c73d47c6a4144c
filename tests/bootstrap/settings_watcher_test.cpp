#include "bootstrap/settings_watcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "install/detour_plan.h"
#include "log/diagnostic_log.h"
#include "support/log_lines.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using Lines = std::vector<std::string>;

struct FakeSink final : SettingsSink {
  std::vector<LiveSettings> posted;
  bool applied = true;
  bool traceOpens = true;
  int traceStarts = 0, traceStops = 0;
  uint32_t interval = 0;
  void Post(const LiveSettings& settings) override {
    posted.push_back(settings);
    applied = false;
  }
  bool AllApplied() override { return applied; }
  bool StartTrace(std::wstring& path, std::wstring& errorText) override {
    ++traceStarts;
    path = L"Z:\\game\\Driftglass.motion.2.csv";
    errorText = L"Could not create motion trace: " + path + L" (Win32 error 5)";
    return traceOpens;
  }
  void StopTrace() override { ++traceStops; }
  void SetReportInterval(uint32_t seconds) override { interval = seconds; }
};

// An INI of sections with some keys replaced ("[Section]Key=value" each).
std::string Ini(const std::vector<std::string>& changes, std::vector<std::pair<std::string, Lines>> sections) {
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

// The start: the limiter at 100, the camera, the hands and particles, F9.
std::string Ini(const std::vector<std::string>& changes = {}) {
  return Ini(changes, {{"General", {"CompareKey=F9"}},
                       {"Telemetry", {}},
                       {"Features",
                        {"RenderUnlock=1", "PresentationLimiter=1", "CameraInterpolation=1", "HandsRootInterpolation=1",
                         "HandsPoseInterpolation=1", "ParticleInterpolation=1"}},
                       {"Timing", {"TargetFPS=100"}}});
}
const std::string kStart = Ini();

LiveHooks InstalledFor(const PluginConfig& started) {
  return LiveHooksOf(started, PlanDetours(started), ReporterRequested(started));
}

// A start with what that INI installs; the INI is then saved as each step says and looked at until
// the watcher has taken it (or given up after a few looks).
struct Playing {
  test::TempFolder folder;
  std::wstring ini = folder.File(L"Driftglass.ini");
  std::wstring logPath = folder.File(L"Driftglass.log");
  DiagnosticLog log;
  FakeSink sink;
  PluginConfig started;
  SettingsWatcher* watcher = nullptr;

  // savedMeanwhile: the file as saved between the start-up's reading and the watcher's start.
  explicit Playing(const std::string& atStart = kStart, const std::string& savedMeanwhile = "") {
    log.Open(logPath.c_str());
    test::WriteFileBytes(ini, atStart);
    started = LoadPluginConfig(ini).config;
    if (!savedMeanwhile.empty()) test::WriteFileBytes(ini, savedMeanwhile);
    watcher = new SettingsWatcher(ini, started, InstalledFor(started), log, sink);
    Look();
  }
  ~Playing() { delete watcher; }
  Lines Look() {
    const size_t before = test::LogEntriesOfFile(logPath).size();
    for (int look = 0; look < 3; ++look) watcher->Look();
    const Lines all = test::LogEntriesOfFile(logPath);
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  }
  Lines Save(const std::string& text) {
    if (text.empty()) {
      DeleteFileW(ini.c_str());
    } else {
      test::WriteFileBytes(ini, text);
    }
    return Look();
  }
};

// Each save's lines and what reached the main thread: what can change while playing applies, named
// in one INFO line; what needs a restart is named in one WARN line once, and no longer once set back.
TEST(SettingsWatcher, AppliesWhatCanChangeWhilePlayingAndNamesWhatWaitsForTheNextStart) {
  const SettingKeys camera = SettingBit(kSettingCameraInterpolation);
  const SettingKeys handsRoot = SettingBit(kSettingHandsRootInterpolation);
  const SettingKeys handsPose = SettingBit(kSettingHandsPoseInterpolation);
  const Lines slower = {"[Features]ParticleInterpolation=0", "[Timing]TargetFPS=50"};
  Lines posePaused = slower;
  posePaused.push_back("[Features]HandsPoseInterpolation=0");
  Lines restart = posePaused;
  for (const char* key : {"[General]Diagnostics=0", "[Features]WorldRootInterpolation=1", "[Timing]PhaseDelayPercent=20"}) {
    restart.push_back(key);
  }
  Lines unlockOff = restart;
  unlockOff.push_back("[Features]RenderUnlock=0");
  Lines unlockBack = restart;
  unlockBack.push_back("[Features]RenderUnlock=1");
  Lines allBack = posePaused;
  allBack.push_back("[Timing]PhaseDelayPercent=20");
  const struct {
    Lines changes;
    Lines lines;
    SettingKeys drawn;  // of the set posted, when one is
  } steps[] = {
      {slower,
       {"INFO Settings changed: ParticleInterpolation true -> false, TargetFPS 100 -> 50."},
       camera | handsRoot | handsPose | SettingBit(kSettingRagdollPoseInterpolation)},
      {posePaused,
       {"INFO Settings changed: HandsPoseInterpolation true -> false."},
       camera | handsRoot | SettingBit(kSettingRagdollPoseInterpolation)},
      {restart,
       {"INFO Settings changed: PhaseDelayPercent 0 -> 20.",
        "WARN Settings changed: Diagnostics true -> false, WorldRootInterpolation false -> true; each takes effect at "
        "the next start."},
       0},
      {unlockOff, {"WARN Settings changed: RenderUnlock true -> false takes effect at the next start."}, 0},
      {unlockBack, {"INFO Settings changed: RenderUnlock false -> true is back to the value in force."}, 0},
      {allBack,
       {"INFO Settings changed: Diagnostics false -> true, WorldRootInterpolation true -> false; each is back to the "
        "value in force."},
       0},
  };
  Playing p;
  size_t posts = 0;
  for (const auto& step : steps) {
    const std::string text = Ini(step.changes);
    SCOPED_TRACE(text);
    EXPECT_EQ(p.Save(text), step.lines);
    if (step.drawn == 0) continue;
    ASSERT_EQ(p.sink.posted.size(), ++posts);
    const LiveSettings& s = p.sink.posted.back();
    EXPECT_EQ(s.drawn, step.drawn);
    EXPECT_TRUE(s.limiter);
    EXPECT_EQ(s.targetFps, 50u);
    EXPECT_EQ(s.compareKey, static_cast<uint32_t>(VK_F9));
  }
}

TEST(SettingsWatcher, ABadOrMissingFileChangesNothingAndSaysSoOnce) {
  Playing p;
  const std::string bad = Ini({"[Timing]TargetFPS=fast"});
  const std::string refused = "WARN Invalid [Timing] TargetFPS (expected 0..1000): fast; the running settings stay.";
  const struct {
    std::string save;
    Lines lines;
  } steps[] = {
      {bad, {refused}},
      {bad, {}},
      {bad + "; saved again with a note, the same value still wrong\r\n", {}},
      // A valid file, even one that changes nothing, ends the refusal: the same one is told again.
      {kStart, {}},
      {bad, {refused}},
      {"", {"WARN Configuration file not found: " + test::ToUtf8(p.ini) + "; the running settings stay."}},
      {kStart, {}},
      {Ini({"[Timing]TargetFPS=0"}), {"INFO Settings changed: TargetFPS 100 -> 0."}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.save);
    EXPECT_EQ(p.Save(step.save), step.lines);
  }
  EXPECT_EQ(p.sink.posted.size(), 1u);
}

// What the player saved while the plug-in started is taken at the watcher's first look.
TEST(SettingsWatcher, AnEditSavedDuringTheStartIsApplied) {
  Playing p(kStart, Ini({"[Timing]TargetFPS=144"}));
  EXPECT_EQ(p.sink.posted.size(), 1u);
  EXPECT_EQ(test::LogEntriesOfFile(p.logPath), Lines{"INFO Settings changed: TargetFPS 100 -> 144."});
  Playing same(kStart, Ini({"; a comment changes no setting"}));
  EXPECT_TRUE(same.sink.posted.empty());
}

TEST(SettingsWatcher, TheTraceOpensAtOnceClosesOnceTheFramesHaveStoppedAndAFailedStartIsRemembered) {
  Playing p;
  const std::string traced = Ini({"[Telemetry]MotionTrace=1", "[Telemetry]ReportIntervalSeconds=2"});
  EXPECT_EQ(p.Save(traced),
            (Lines{"INFO Motion trace: recording to Z:\\game\\Driftglass.motion.2.csv.",
                   "INFO Settings changed: MotionTrace false -> true, ReportIntervalSeconds 5 -> 2."}));
  EXPECT_EQ(p.sink.interval, 2u);
  ASSERT_EQ(p.sink.posted.size(), 1u);
  EXPECT_TRUE(p.sink.posted[0].motionTrace);
  p.Save(kStart);
  EXPECT_FALSE(p.sink.posted.back().motionTrace);
  EXPECT_EQ(p.sink.traceStops, 0);  // the main thread has not applied it yet
  // On again before the frames stopped: never opened anew under a publishing frame.
  p.Save(traced);
  EXPECT_EQ(p.sink.traceStarts, 1);
  p.sink.applied = true;
  p.watcher->Look();
  EXPECT_EQ(p.sink.traceStops, 0);
  p.Save(kStart);
  p.sink.applied = true;
  p.watcher->Look();
  EXPECT_EQ(p.sink.traceStops, 1);

  // A trace that cannot be opened runs off: said once, and tried again by the next save that asks for it.
  p.sink.traceOpens = false;
  const std::string onlyTrace = Ini({"[Telemetry]MotionTrace=1"});
  EXPECT_EQ(p.Save(onlyTrace),
            (Lines{"WARN Could not create motion trace: Z:\\game\\Driftglass.motion.2.csv (Win32 error 5); the "
                   "motion trace stays off."}));
  const size_t posts = p.sink.posted.size();
  p.sink.traceOpens = true;
  EXPECT_EQ(p.Save(Ini({"[Telemetry]MotionTrace=1", "[Timing]TargetFPS=60"})),
            (Lines{"INFO Motion trace: recording to Z:\\game\\Driftglass.motion.2.csv.",
                   "INFO Settings changed: MotionTrace false -> true, TargetFPS 100 -> 60."}));
  ASSERT_EQ(p.sink.posted.size(), posts + 1);
  EXPECT_TRUE(p.sink.posted.back().motionTrace);
}

// What a change may do while playing follows what the start installed, the compare key's rule
// included: it is read only where something drawn was installed for it to switch.
TEST(SettingsWatcher, LiveKeysFollowWhatTheStartInstalled) {
  const std::string quiet = "[Telemetry]\r\nEnabled=0\r\n[General]\r\nCompareKey=F9\r\n[Features]\r\n";
  const struct {
    std::string ini;
    std::vector<SettingKey> live;
    std::vector<SettingKey> nextStart;
  } cases[] = {
      {quiet + "RenderUnlock=1\r\n",
       {kSettingPresentationLimiter, kSettingTargetFps},
       {kSettingCompareKey, kSettingPhaseDelayPercent, kSettingMotionTrace, kSettingRenderUnlock}},
      {quiet + "ImageTrailTiming=1\r\n",
       {kSettingImageTrailTiming, kSettingCompareKey},
       {kSettingPresentationLimiter, kSettingCameraInterpolation}},
      {quiet + "WorldPoseInterpolation=1\r\n",
       {kSettingWorldPoseInterpolation, kSettingCompareKey, kSettingPhaseDelayPercent},
       {kSettingRagdollPoseInterpolation, kSettingWorldRootInterpolation}},
      {quiet + "WorldPoseInterpolation=1\r\nWorldRootInterpolation=1\r\n",
       {kSettingRagdollPoseInterpolation, kSettingWorldRootInterpolation}, {}},
      {quiet + "MouseOverlay=1\r\n", {kSettingPhaseDelayPercent}, {kSettingMouseOverlay, kSettingCompareKey}},
      {quiet + "MouseOverlay=1\r\nCameraInterpolation=1\r\n", {kSettingMouseOverlay, kSettingCompareKey}, {}},
      {"[Features]\r\n",
       {kSettingMotionTrace, kSettingReportInterval},
       {kSettingEnabled, kSettingDiagnostics, kSettingTelemetryEnabled, kSettingCompareKey}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    test::TempFolder folder;
    const std::wstring path = folder.File(L"Driftglass.ini");
    test::WriteFileBytes(path, c.ini);
    const PluginConfig started = LoadPluginConfig(path).config;
    const SettingKeys live = LiveSettingKeys(InstalledFor(started));
    for (const SettingKey key : c.live) EXPECT_NE(live & SettingBit(key), 0u) << SettingName(key);
    for (const SettingKey key : c.nextStart) EXPECT_EQ(live & SettingBit(key), 0u) << SettingName(key);
    EXPECT_EQ(LiveSettingsOf(started, InstalledFor(started)).compareKey != 0,
              (live & SettingBit(kSettingCompareKey)) != 0);
  }
}

}  // namespace
}  // namespace driftglass
