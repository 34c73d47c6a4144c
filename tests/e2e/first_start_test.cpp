// The player's first start: the INI exactly as the release ships it, in the simulated game with a
// window, the mouse turning the view and the compare key pressed twice, judged by the game's own
// record of what it drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bootstrap/product_version.h"
#include "install/hook_installer_messages.h"
#include "support/build_paths.h"
#include "support/game_run.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;
using test::ToUtf8;

const std::wstring kShippedIni = DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.ini";

// The player presses F9 after tick 90 and again after tick 200.
const std::string kScenario =
    "duration_seconds=5\nidle_after_seconds=1.3\npacing=uncapped\nlimit_fps=1\nwindow=visible\n"
    "camera_motion=mouse\nmouse_pattern=sweep_right\nevents=compare_key@90,compare_key@200\n";

// Frames the switch has certainly reached (the key is read once a tick, the frame after that
// shows it): true with the corrections off, false with them on; frames just after a press are
// left out.
struct Judged {
  std::vector<size_t> off, on;
};
Judged JudgeFrames(const GameRun& run) {
  Judged judged;
  double presses = 0, pressTick = 0;
  for (size_t i = 0; i < run.frames.size(); ++i) {
    const auto& f = run.frames[i];
    if (f.at("key_presses") != presses) {
      presses = f.at("key_presses");
      pressTick = f.at("ticks");
    }
    if (presses == 0 || f.at("ticks") < pressTick + 3) continue;
    (static_cast<int>(presses) % 2 == 1 ? judged.off : judged.on).push_back(i);
  }
  return judged;
}

// With the corrections off every frame shows the engine's own state: the camera, the hands and
// what they hold, the world, the poses, the particles and the trail, as the game computed them.
void ExpectTheGamesOwnState(const std::map<std::string, double>& f) {
  EXPECT_EQ(f.at("interpolated"), 0) << "camera written";
  EXPECT_EQ(f.at("drawn_yaw"), f.at("view_yaw")) << "the look preview turned the view";
  EXPECT_NEAR(f.at("drawn_ticks"), f.at("ticks"), 1e-6);
  EXPECT_EQ(f.at("hands_corrected"), 0);
  EXPECT_EQ(f.at("object_corrected"), 0);
  EXPECT_EQ(f.at("palette_blended"), 0);
  EXPECT_EQ(f.at("world_corrected"), 0);
  EXPECT_EQ(f.at("pose_blended"), 0);
  EXPECT_NEAR(f.at("particle_ticks"), f.at("ticks"), 1e-4);
  EXPECT_NEAR(f.at("trail_weight"), std::exp(-0.015 / f.at("trail_interval")), 1e-6) << "the stock decay";
}

TEST(FirstStart, TheShippedIniTurnsEverythingOnAndItsCompareKeyShowsTheGameAsItIs) {
  test::GameSetup setup;
  setup.ini = test::ReadFileBytes(kShippedIni);
  ASSERT_FALSE(setup.ini.empty());
  setup.scenario = kScenario;
  GameRun run;
  test::RunGame(setup, run);
  test::ExpectCleanRun(run);

  // Every requested feature says so, in order, and the start-up ends well.
  std::vector<std::string> expected = {"INFO " + ToUtf8(kRenderUnlockEnabledText),
                                       "INFO Presentation limiter enabled at the display's refresh rate."};
  for (const wchar_t* text :
       {kCameraInterpolationEnabledText, kHandsRootInterpolationEnabledText, kWorldRootInterpolationEnabledText,
        kHandsPoseInterpolationEnabledText, kWorldPoseInterpolationEnabledText, kParticleInterpolationEnabledText,
        kImageTrailTimingEnabledText, kMouseOverlayEnabledText}) {
    expected.push_back("INFO " + ToUtf8(text));
  }
  expected.push_back("INFO Compare key F9: pressed in the game, every drawn correction (CameraInterpolation, "
                     "HandsRootInterpolation, WorldRootInterpolation, HandsPoseInterpolation, WorldPoseInterpolation, "
                     "ParticleInterpolation, ImageTrailTiming, MouseOverlay's look preview) stands aside and frames show "
                     "the game's own state until it is pressed again.");
  expected.push_back("INFO Read-only telemetry hooks enabled; report interval 5 seconds.");
  expected.push_back("INFO Compatible x86 executable signatures accepted. Requested hooks are active.");
  std::string log;
  for (const std::string& line : run.log) log += line + "\n";
  ASSERT_GE(run.log.size(), 6 + expected.size()) << log;
  EXPECT_EQ(run.log[0], "INFO Driftglass " DRIFTGLASS_VERSION_TEXT " bootstrap starting (x86)");
  EXPECT_EQ(run.log[1], "DEBUG Plugin path: " + ToUtf8(run.folder->File(L"Driftglass.dll")));
  EXPECT_EQ(run.log[4], "DEBUG Host path: " + ToUtf8(DRIFTGLASS_BUILD_DIR L"\\simhost\\simhost.exe"));
  EXPECT_EQ(run.log[5].rfind("INFO Validated engine mappings: ", 0), 0u);
  EXPECT_EQ(std::vector<std::string>(run.log.begin() + 6, run.log.begin() + 6 + expected.size()), expected);
  EXPECT_TRUE(run.LinesStartingWith("WARN").empty());
  EXPECT_TRUE(run.LinesStartingWith("ERROR").empty());

  // Two presses, two lines; the frames between them are the game's own, those after them corrected.
  EXPECT_EQ(run.LinesStartingWith("INFO Compare key F9: corrections off; frames show the game's own state until F9 "
                                  "is pressed again.").size(), 1u);
  EXPECT_EQ(run.LinesStartingWith("INFO Compare key F9: corrections on.").size(), 1u);
  EXPECT_EQ(TelemetryTotal(run, "Compare", "switches"), 2u);
  // How many frames the limiter lets through over the ticks is the machine's business on a busy
  // one; enough to judge either way.
  const Judged judged = JudgeFrames(run);
  ASSERT_GT(judged.off.size(), 20u);
  ASSERT_GT(judged.on.size(), 20u);
  for (const size_t i : judged.off) {
    SCOPED_TRACE("frame " + std::to_string(i));
    ExpectTheGamesOwnState(run.frames[i]);
  }
  // With the corrections on again, every frame whose render the game's clock puts within the
  // accepted range from start to end is corrected (outside it the plug-in shows the game's own).
  size_t corrected = 0;
  for (const size_t i : judged.on) {
    const auto& frame = run.frames[i];
    if (!test::AcceptedThroughTheRender(frame)) continue;
    SCOPED_TRACE("frame " + std::to_string(i));
    ++corrected;
    EXPECT_GT(frame.at("interpolated"), 0) << "the camera is interpolated again";
    EXPECT_GT(frame.at("hands_corrected"), 0) << "the hands are corrected again";
    EXPECT_GT(frame.at("world_corrected"), 0) << "the world is corrected again";
    EXPECT_TRUE(test::ShownWhereTheGamesClockSays(frame, frame.at("drawn_ticks")));
  }
  EXPECT_GT(corrected, 10u);
  const uint64_t uncorrected = TelemetryTotal(run, "Compare", "uncorrected");
  EXPECT_GE(uncorrected, judged.off.size());
  EXPECT_LE(uncorrected, judged.off.size() + 20);

  // No count lost or repeated across the switches: everything sent reached the game once.
  const auto mouse = test::FactNumbers(run, "mouse");
  ASSERT_FALSE(mouse.empty());
  EXPECT_GT(mouse.at("injected_x"), 1000);
  EXPECT_EQ(mouse.at("read_x") + mouse.at("gui_read_x"), mouse.at("injected_x"));
  EXPECT_EQ(mouse.at("read_y") + mouse.at("gui_read_y"), mouse.at("injected_y"));
}

// The motion trace marks every frame drawn with the corrections off with the alpha the clock gave,
// and the telemetry counts those frames in Compare(uncorrected=) alone: no feature counts them as
// waiting for the clock.
TEST(FirstStart, TheTraceAndTheTelemetrySayWhichFramesWereDrawnWithoutCorrections) {
  const GameRun run = test::PlayGame(
      "[General]\r\nCompareKey=f9\r\n[Telemetry]\r\nReportIntervalSeconds=1\r\nMotionTrace=true\r\n"
      "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nHandsRootInterpolation=true\r\n"
      "HandsPoseInterpolation=true\r\nWorldRootInterpolation=true\r\nWorldPoseInterpolation=true\r\n"
      "ParticleInterpolation=true\r\n",
      "duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\nlimit_fps=0\nwindow=visible\n"
      "events=compare_key@60,compare_key@120\n");
  test::ExpectCleanRun(run);
  const auto rows = test::TraceRows(run.motionTrace);
  ASSERT_EQ(rows.size(), run.frames.size());
  const auto flags = [&](size_t i) { return std::stoul(rows[i][7]); };
  const auto marked = [&](size_t i) { return (flags(i) & (1u << 9)) != 0; };
  const Judged judged = JudgeFrames(run);
  ASSERT_GT(judged.off.size(), 100u);
  for (const size_t i : judged.off) EXPECT_TRUE(marked(i)) << "frame " << i;
  for (const size_t i : judged.on) EXPECT_FALSE(marked(i)) << "frame " << i;
  size_t markedRows = 0, unplaced = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& frame = run.frames[i];
    markedRows += marked(i);
    unplaced += !marked(i) && (flags(i) & 2) == 0;  // the clock placed no pair: camera not applied
    if (!marked(i)) continue;
    SCOPED_TRACE("frame " + std::to_string(i));
    EXPECT_EQ(frame.at("interpolated"), 0);
    EXPECT_EQ(flags(i) & 2, 0u) << "not marked as interpolated";
    if (!test::AcceptedThroughTheRender(frame)) continue;
    EXPECT_NE(flags(i) & 256, 0u) << "the clock's alpha was valid";
    const double alpha = std::stod(rows[i][6]);
    EXPECT_GE(alpha, std::min(frame.at("truth_raw"), 1.0) - 0.01) << "the alpha the clock gave";
    EXPECT_LE(alpha, frame.at("truth_raw_end") + 0.01) << "the alpha the clock gave";
  }
  EXPECT_EQ(TelemetryTotal(run, "Compare", "uncorrected"), markedRows);
  EXPECT_EQ(TelemetryTotal(run, "Compare", "switches"), 2u);
  for (const char* group : {"Camera", "Hands", "Pose"}) {
    EXPECT_LE(TelemetryTotal(run, group, "clockWait"), unplaced) << group;
  }
  EXPECT_LT(TelemetryTotal(run, "EnemyPose", "clockWait"), markedRows);
  EXPECT_LT(TelemetryTotal(run, "Particles", "inactive"), rows.size()) << "only the build outside the render";
}

}  // namespace
}  // namespace driftglass
