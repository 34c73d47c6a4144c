// The view turned by real mouse input inside the simulated game: what its renderer drew against
// the game's own view angles, the hands against the drawn view, and the angles its player received
// against the exact product of counts and sensitivity.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kCameraIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nHandsRootInterpolation=true\r\n";
const std::string kLookIni = kCameraIni + "MouseOverlay=true\r\n";

std::map<std::string, double> LookFact(const GameRun& run) {
  auto fields = test::FactNumbers(run, "look");
  EXPECT_FALSE(fields.empty()) << "no look fact in the record";
  return fields;
}

std::string Scenario(const std::string& extra) {
  return "duration_seconds=2.5\nidle_after_seconds=1.3\npacing=fixed:144\nlimit_fps=0\nwindow=visible\n"
         "camera_motion=mouse\n" + extra;
}

// a − b the short way round.
double YawDifference(double a, double b) { return std::remainder(a - b, 6.283185307179586); }

// Frames whose drawn yaw moved against a one-way turn (yaw falls while the mouse moves right).
size_t BackwardFrames(const GameRun& run) {
  size_t backward = 0;
  for (size_t i = 1; i < run.frames.size(); ++i) {
    // The drawn yaw is kept within one turn while the game's runs on: steps are taken the short way.
    const double step = YawDifference(run.frames[i].at("drawn_yaw"), run.frames[i - 1].at("drawn_yaw"));
    const bool back = step > 1e-6;
    if (back) ADD_FAILURE() << "frame " << run.frames[i].at("index") << " yaw " << run.frames[i].at("drawn_yaw")
                            << " after " << run.frames[i - 1].at("drawn_yaw");
    backward += back;
  }
  return backward;
}

TEST(LookPreview, ASweepTurnsTheViewEveryFrameOneWayAndSettlesOnTheGamesView) {
  // The hands sit still in the view (no sway), so any turn of them against it is the plug-in's.
  const GameRun look = test::PlayGame(kLookIni, Scenario("mouse_pattern=sweep_right\nhands_sway=0\n"));
  test::ExpectCleanRun(look);  // the game's view checks: settled view, pitch limits, camera restored
  EXPECT_EQ(BackwardFrames(look), 0u);
  const uint64_t applied = TelemetryTotal(look, "MouseAudit", "previewApplied");
  EXPECT_GT(applied, 150u);
  EXPECT_GT(TelemetryTotal(look, "MouseAudit", "handsCorrectionApplied"), applied / 2);
  // Drawn ahead of the plain interpolation: a frame leads the game's latest view exactly when
  // motion has reached the game (SDL2 received it) that gameplay has not read yet, on every frame
  // the game's clock puts within the accepted range for the whole render (outside it the camera
  // is the game's own, and so is the view).
  size_t moving = 0, ahead = 0;
  double handsYaw = NAN;
  for (const auto& frame : look.frames) {
    if (frame.at("wall") < 0.5 || frame.at("look_moving") == 0) continue;
    SCOPED_TRACE(testing::Message() << "frame " << frame.at("index"));
    if (std::isnan(handsYaw)) handsYaw = frame.at("hands_rel_yaw");
    ++moving;
    // The hands stay locked to the drawn view while it turns.
    EXPECT_LT(std::fabs(frame.at("hands_rel_yaw") - handsYaw), 1e-3);
    if (!test::AcceptedThroughTheRender(frame)) continue;
    const bool pending = frame.at("sdl_x") != frame.at("read_x");
    const bool leads = YawDifference(frame.at("drawn_yaw"), frame.at("view_yaw")) < -1e-4;
    ahead += leads;
    EXPECT_EQ(leads, pending) << frame.at("sdl_x") - frame.at("read_x") << " counts not yet read";
  }
  ASSERT_GT(moving, 100u);
  EXPECT_GT(ahead, 50u);

  const GameRun plain = test::PlayGame(kCameraIni, Scenario("mouse_pattern=sweep_right\nhands_sway=0\n"));
  test::ExpectCleanRun(plain);
  size_t plainAhead = 0;
  for (const auto& frame : plain.frames) {
    if (frame.at("wall") >= 0.5 && frame.at("look_moving") != 0) {
      plainAhead += YawDifference(frame.at("drawn_yaw"), frame.at("view_yaw")) < -1e-6;
    }
  }
  EXPECT_EQ(plainAhead, 0u) << "camera interpolation alone never shows a turn before its tick";
}

TEST(LookPreview, ThePlayerReceivesTheExactProductOfCountsAndSensitivity) {
  // Half a count per odd tick: the game's rounding of halves away from zero drifts one way.
  const std::string scenario = Scenario("mouse_pattern=sweep_right\nsensitivity=0.5\n");
  auto exact = LookFact(test::PlayGame(kLookIni, scenario));
  EXPECT_NEAR(exact["player_yaw_sum"], exact["exact_yaw_sum"], 1e-5 * std::fabs(exact["exact_yaw_sum"]) + 1e-6);
  auto stock = LookFact(test::PlayGame(kCameraIni, scenario));
  EXPECT_EQ(stock["player_yaw_sum"], stock["rounded_yaw_sum"]);
  EXPECT_GT(std::fabs(stock["rounded_yaw_sum"] - stock["exact_yaw_sum"]), 3 * stock["unit"])
      << "the game's rounding turns the view by more than it was moved";
}

TEST(LookPreview, SmoothingRereadsMenusAndLimitsKeepTheViewTheGames) {
  const struct {
    const char* name;
    const char* scenario;
    int preview;  // 1: frames were previewed, 0: none, -1: either (no scale is learned from pitch alone)
  } cases[] = {
      {"smoothing on", "mouse_pattern=sweep_right\nsmoothing=1\n", 0},
      {"inverted Y into the pitch limit", "mouse_pattern=pitch_up\ninvert_y=1\n", -1},
      {"two reads in some passes", "mouse_pattern=sweep_right\nevents=double_read@40:30\n", 1},
      {"a GUI opened during the turn", "mouse_pattern=sweep_right\nevents=gui_open@50:30\n", 1},
      {"a change of sensitivity", "mouse_pattern=sweep_right\nevents=sensitivity2@60\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const GameRun run = test::PlayGame(kLookIni, Scenario(c.scenario));
    test::ExpectCleanRun(run);
    const uint64_t applied = TelemetryTotal(run, "MouseAudit", "previewApplied");
    if (c.preview == 1) {
      EXPECT_GT(applied, 50u);
    } else if (c.preview == 0) {
      EXPECT_EQ(applied, 0u);
      EXPECT_EQ(TelemetryTotal(run, "MouseAudit", "playerDequantized"), 0u);
    }
  }
}

}  // namespace
}  // namespace driftglass
