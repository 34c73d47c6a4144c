// The presentation limiter inside the simulated game: an uncapped game paced at TargetFPS or at
// the display's refresh rate, judged by the times of the frames the game drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kLimiterIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nPresentationLimiter=true\r\n"
    "[Timing]\r\nTargetFPS=";

// Frames drawn against the most a rate allows over the same span: never more (the limiter never
// runs early), and not starved (at least half). The spread of the intervals between the frames the
// game drew: a late frame may be followed by a short interval (the grid holds), but no ten
// intervals together may be shorter than nine targets (no burst), the median is the target's, and
// most intervals stay within two targets.
void ExpectPacedAt(const GameRun& run, double rate) {
  ASSERT_GT(run.frames.size(), 20u);
  const double span = run.frames.back().at("wall") - run.frames.front().at("wall");
  const double frames = static_cast<double>(run.frames.size() - 1);
  EXPECT_LE(frames, rate * span + 1) << frames << " frames in " << span << " s";
  EXPECT_GE(frames, 0.5 * rate * span) << frames << " frames in " << span << " s";
  EXPECT_GT(TelemetryTotal(run, "Limiter", "paced"), 0u);
  EXPECT_GT(TelemetryTotal(run, "Limiter", "waitUs"), 0u);
  const double target = 1.0 / rate;
  std::vector<double> intervals;
  for (size_t i = 1; i < run.frames.size(); ++i) {
    intervals.push_back(run.frames[i].at("wall") - run.frames[i - 1].at("wall"));
    if (i >= 11) {
      const double ten = run.frames[i].at("wall") - run.frames[i - 10].at("wall");
      EXPECT_GE(ten, 9 * target - 0.001) << "ten intervals up to frame " << i;
    }
  }
  std::sort(intervals.begin(), intervals.end());
  EXPECT_NEAR(intervals[intervals.size() / 2], target, 0.1 * target) << "median interval";
  EXPECT_LE(intervals[intervals.size() * 95 / 100], 2.0 * target) << "95th percentile interval";
}

TEST(FramePacer, AnUncappedGameIsPacedAtTargetFpsOrAtTheDisplaysRate) {
  const std::string scenario = "duration_seconds=2\nidle_after_seconds=1.3\npacing=uncapped\nlimit_fps=0\n";
  GameRun run = test::PlayGame(kLimiterIni + "144\r\n", scenario);
  test::ExpectCleanRun(run);
  ExpectPacedAt(run, 144);

  // Under the virtual display the screen refreshes at 60 Hz.
  run = test::PlayGame(kLimiterIni + "0\r\n", scenario + "window=visible\n");
  test::ExpectCleanRun(run);
  EXPECT_TRUE(run.HasLine("INFO Presentation limiter enabled at the display's refresh rate."));
  EXPECT_TRUE(run.HasLine("INFO Presentation limiter: the display refreshes at 60 Hz; pacing at 60 frames "
                          "per second."));
  ExpectPacedAt(run, 60);
}

}  // namespace
}  // namespace driftglass
