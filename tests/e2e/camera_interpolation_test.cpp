// Camera interpolation inside the simulated game: what its renderer drew, its byte checks, the
// motion trace and the telemetry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kCameraIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\nMotionTrace=true\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\n";

GameRun Play(const std::string& ini, const std::string& scenario) { return test::PlayGame(ini, scenario); }

using test::ExpectCleanRun;

double Column(const std::vector<std::string>& row, size_t index) { return strtod(row[index].c_str(), nullptr); }

TEST(CameraInterpolation, GlidesAndRollsBetweenTicksAt144Hz) {
  const double speed = 3.0;
  // The camera leans (rolls out and back), then turns in roll alone.
  GameRun run = Play(kCameraIni, "duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\ncamera_speed=3\n"
                                 "events=lean@40:60,roll_turn@110:50\n");
  ExpectCleanRun(run);
  EXPECT_TRUE(run.HasLine("INFO Render unlock applied at cEngine::Run: mbLimitFPS=false; the fixed-step "
                          "logic timer is unchanged."));
  const std::vector<std::string> reports = run.LinesStartingWith("INFO Telemetry interval=");
  ASSERT_GE(reports.size(), 3u);
  EXPECT_NE(reports.front().find(" RenderUnlock=active "), std::string::npos);
  EXPECT_NE(reports.back().find(" RenderUnlock=finished "), std::string::npos);

  // After the first half second every frame shows the camera where the game's clock puts it, its
  // roll too, and every frame the clock puts between ticks shows it interpolated.
  size_t frames = 0, between = 0, rolling = 0;
  for (const auto& frame : run.frames) {
    if (frame.at("wall") < 0.5) continue;
    SCOPED_TRACE(testing::Message() << "frame " << frame.at("index"));
    ++frames;
    EXPECT_EQ(frame.at("limit_fps"), 0.0);
    EXPECT_TRUE(test::ShownWhereTheGamesClockSays(frame, frame.at("drawn_ticks")))
        << "drawn at tick " << frame.at("drawn_ticks") << ", the game's clock " << frame.at("expected_ticks")
        << " to " << frame.at("expected_ticks_end");
    if (frame.at("truth_valid") != 0 && frame.at("truth_alpha_end") < 0.99) {
      ++between;
      EXPECT_GT(frame.at("interpolated"), 0);
    }
    if (std::fabs(frame.at("roll_step")) >= 0.005) {
      ++rolling;
      EXPECT_TRUE(test::ShownWhereTheGamesClockSays(frame, frame.at("roll_ticks")))
          << "roll drawn at tick " << frame.at("roll_ticks") << ", the game's clock " << frame.at("expected_ticks")
          << " to " << frame.at("expected_ticks_end");
    }
  }
  EXPECT_GT(frames, 300u);
  EXPECT_GT(between, 100u);
  EXPECT_GT(rolling, 100u);
  EXPECT_GE(TelemetryTotal(run, "Camera", "applied"), between);

  // Every interpolated trace row shows the blend of its two ticks' poses at its alpha.
  size_t checked = 0;
  for (const auto& row : test::TraceRows(run.motionTrace)) {
    ASSERT_EQ(row.size(), 36u);
    const uint32_t flags = static_cast<uint32_t>(Column(row, 7));
    if ((flags & 2) == 0) continue;
    const double older = Column(row, 2);
    const double newer = Column(row, 3);
    const double alpha = Column(row, 6);
    EXPECT_EQ(newer, older + 1);
    EXPECT_EQ(flags & (4 | 8 | 16 | 256), 4u | 8u | 16u | 256u);
    const double expected = speed * (older + alpha) / 60.0;
    EXPECT_NEAR(Column(row, 14), expected, 1e-4) << "base_x";
    EXPECT_NEAR(Column(row, 8), speed * newer / 60.0, 1e-4) << "auth_x is the newest tick";
    EXPECT_NEAR(Column(row, 20), Column(row, 14), 1e-6) << "no look preview yet";
    ++checked;
  }
  EXPECT_GT(checked, 300u);

  // The trace's timing columns tell the same story as the game: row i is the game's frame i, its
  // serials are the game's last two ticks and its raw fraction lies between the game's readings.
  const auto rows = test::TraceRows(run.motionTrace);
  ASSERT_EQ(rows.size(), run.frames.size());
  size_t compared = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& frame = run.frames[i];
    EXPECT_EQ(Column(rows[i], 1), frame.at("ticks")) << "tick_serial of frame " << i;
    if (frame.at("wall") < 0.5 || frame.at("truth_valid") == 0) continue;
    SCOPED_TRACE(testing::Message() << "frame " << i);
    ++compared;
    EXPECT_EQ(Column(rows[i], 2), frame.at("ticks") - 1);
    EXPECT_EQ(Column(rows[i], 3), frame.at("ticks"));
    EXPECT_GE(Column(rows[i], 4), frame.at("truth_raw") - 0.01) << "raw_alpha";
    EXPECT_LE(Column(rows[i], 4), frame.at("truth_raw_end") + 0.01) << "raw_alpha";
    EXPECT_NEAR(Column(rows[i], 5), frame.at("truth_phase"), 0.01) << "phase_delay_ticks";
  }
  EXPECT_GT(compared, 300u);
}

// At 90 Hz a phase delay makes frames just after a tick stop or jump; at the default (none) the
// view glides. Judged from what the game drew against its own clock.
TEST(CameraInterpolation, AtTheDefaultPhaseNinetyHertzGlides) {
  GameRun run = Play(kCameraIni, "duration_seconds=2.5\nidle_after_seconds=1.3\npacing=fixed:90\ncamera_speed=3\n");
  ExpectCleanRun(run);
  EXPECT_TRUE(run.LinesStartingWith("INFO Presentation phase delay").empty()) << "the default is not announced";
  size_t frames = 0;
  for (size_t i = 1; i < run.frames.size(); ++i) {
    const auto& previous = run.frames[i - 1];
    const auto& frame = run.frames[i];
    if (previous.at("wall") < 0.5) continue;
    SCOPED_TRACE(testing::Message() << "frame " << i);
    ++frames;
    EXPECT_GE(frame.at("drawn_ticks"), previous.at("drawn_ticks")) << "the shown simulation time went back";
    EXPECT_TRUE(test::ShownWhereTheGamesClockSays(frame, frame.at("drawn_ticks")))
        << "drawn at tick " << frame.at("drawn_ticks") << ", the game's clock " << frame.at("expected_ticks")
        << " to " << frame.at("expected_ticks_end");
    if (frame.at("truth_valid") != 0 && frame.at("truth_alpha_end") < 0.99) {
      EXPECT_GT(frame.at("interpolated"), 0);
    }
  }
  EXPECT_GT(frames, 150u);
  for (const auto& row : test::TraceRows(run.motionTrace)) EXPECT_EQ(Column(row, 5), 0.0) << "phase used";
}

TEST(CameraInterpolation, EveryEventIsReportedAndTheCameraRecovers) {
  // Each event lasts the given ticks; once two further ticks have passed, the camera must be
  // drawn interpolated again within the next few frames (counted in frames, not ticks, so that a
  // late frame on a busy machine does not skip the window).
  const struct {
    const char* name;
    uint32_t tick;
    uint32_t duration;
  } events[] = {{"switch_camera", 40, 0},  {"between_move", 70, 0}, {"teleport", 100, 0},
                {"hide", 130, 10},        {"visibility2", 170, 5},  {"offset68", 200, 5},
                {"limit1500", 230, 5},    {"switch_viewport", 260, 0}};
  std::string list;
  for (const auto& e : events) {
    if (!list.empty()) list.append(",");
    list.append(e.name).append("@").append(std::to_string(e.tick));
    if (e.duration != 0) list.append(":").append(std::to_string(e.duration));
  }
  GameRun run = Play(kCameraIni, "duration_seconds=5\nidle_after_seconds=1.3\npacing=fixed:144\n"
                                 "camera_motion=turn\nturn_rate=2\nevents=" + list + "\n");
  ExpectCleanRun(run);
  EXPECT_GE(TelemetryTotal(run, "Camera", "identity"), 2u);
  EXPECT_GE(TelemetryTotal(run, "Camera", "sameTick"), 1u);
  EXPECT_GE(TelemetryTotal(run, "Camera", "jump"), 1u);
  EXPECT_GE(TelemetryTotal(run, "Camera", "invalid"), 2u);
  EXPECT_GE(TelemetryTotal(run, "viewFail", "hidden"), 1u);
  EXPECT_GE(TelemetryTotal(run, "viewFail", "invalid"), 1u);
  EXPECT_GT(TelemetryTotal(run, "Camera", "noView"), 0u);

  for (const auto& e : events) {
    EXPECT_TRUE(test::RecoversWithinFourFrames(run, e.tick + e.duration + 2,
                                               [](const test::Frame& f) { return f.at("interpolated") > 0; }))
        << e.name;
  }
}

TEST(CameraInterpolation, TurnsTheShortWayAndHandlesStraightUp) {
  GameRun run = Play(kCameraIni, "duration_seconds=2.5\nidle_after_seconds=1.3\npacing=fixed:144\n"
                                 "camera_motion=pitch\nturn_rate=3\n");
  ExpectCleanRun(run);
  size_t checked = 0;
  for (const auto& row : test::TraceRows(run.motionTrace)) {
    if ((static_cast<uint32_t>(Column(row, 7)) & 2) == 0) continue;
    EXPECT_NEAR(Column(row, 17), 1.5707964, 1e-3) << "base_pitch stays at pi/2";
    EXPECT_EQ(Column(row, 19), 0.0) << "base_roll is 0 looking straight up";
    ++checked;
  }
  EXPECT_GT(checked, 100u);

  // Yaw wrapping at +-pi: the drawn yaw never takes the long way round (never near 0 between
  // logic yaws near +-pi).
  run = Play(kCameraIni, "duration_seconds=2.5\nidle_after_seconds=1.3\npacing=fixed:144\n"
                         "camera_motion=turn\nturn_rate=3\n");
  ExpectCleanRun(run);
  checked = 0;
  for (const auto& frame : run.frames) {
    if (frame.at("interpolated") == 0 || std::fabs(frame.at("logic_yaw")) < 3.0) continue;
    EXPECT_GT(std::fabs(frame.at("drawn_yaw")), 2.9) << "drawn " << frame.at("drawn_yaw");
    ++checked;
  }
  EXPECT_GT(checked, 5u);
}

TEST(CameraInterpolation, StandingStillIsInterpolatedAndRestoredToo) {
  // Blending two equal poses (still, looking straight up) writes exactly the bytes the camera
  // already holds: the game must still see the write and its restore.
  GameRun run = Play(kCameraIni, "duration_seconds=1.2\nidle_after_seconds=1.3\npacing=fixed:144\n"
                                 "camera_motion=pitch\nturn_rate=0\n");
  ExpectCleanRun(run);
  size_t frames = 0;
  for (const auto& frame : run.frames) {
    if (frame.at("wall") < 0.5 || frame.at("truth_valid") == 0 || frame.at("truth_alpha_end") >= 0.99) continue;
    ++frames;
    EXPECT_GT(frame.at("interpolated"), 0) << "frame " << frame.at("index");
  }
  EXPECT_GT(frames, 60u);
}

TEST(CameraInterpolation, FailsClosedOnWhatItCannotTrust) {
  // A logic-timer numerator of 1500: the timer is acquired, but every frame is unavailable.
  GameRun run = Play(kCameraIni, "duration_seconds=1.5\nidle_after_seconds=1.3\npacing=fixed:144\n"
                                 "logic_numerator=1500\nlogic_divisor=90\n");
  ExpectCleanRun(run);
  EXPECT_TRUE(run.HasLine("INFO HPL logic-timer residual acquired from cEngine::mpLogicTimer; "
                          "presentation retains only previous/current fixed states."));
  EXPECT_EQ(TelemetryTotal(run, "Clock", "interp"), 0u);
  EXPECT_EQ(TelemetryTotal(run, "Camera", "applied"), 0u);
  EXPECT_GT(TelemetryTotal(run, "Clock", "unavailable"), 100u);
  for (const auto& frame : run.frames) EXPECT_EQ(frame.at("interpolated"), 0.0);

  // A frame-limit flag holding 2 is not a boolean: refused, left as it is; frames stay capped.
  run = Play(kCameraIni, "duration_seconds=1\nidle_after_seconds=1.3\nlimit_fps=2\n");
  ExpectCleanRun(run);
  EXPECT_TRUE(run.HasLine("ERROR Render unlock rejected: cEngine::mbLimitFPS failed its runtime "
                          "boolean layout check."));
  for (const std::string& line : run.LinesStartingWith("INFO Telemetry interval=")) {
    EXPECT_NE(line.find(" RenderUnlock=rejected "), std::string::npos);
  }
  for (const auto& frame : run.frames) EXPECT_EQ(frame.at("limit_fps"), 2.0);
}

}  // namespace
}  // namespace driftglass
