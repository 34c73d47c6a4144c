// The presentation limiter inside the simulated game: an uncapped game paced at TargetFPS or at
// the display's refresh rate, judged by the times of the frames the game drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// The frames the game drew against the rate. Never ahead of it: the limiter's deadlines lie on a
// grid of whole intervals (a late frame restarts it later, never earlier), and a busy machine only
// ever delays a frame, so a frame that was not delayed anchors a grid that no later frame runs
// ahead of (by more than the game's own work between the wait and the render). And not starved:
// at least half the frames the rate allows over the run.
void ExpectPacedAt(const GameRun& run, double rate) {
  ASSERT_GT(run.frames.size(), 20u);
  const double span = run.frames.back().at("wall") - run.frames.front().at("wall");
  const double frames = static_cast<double>(run.frames.size() - 1);
  EXPECT_GE(frames, 0.5 * rate * span) << frames << " frames in " << span << " s";
  EXPECT_GT(TelemetryTotal(run, "Limiter", "paced"), 0u);
  EXPECT_GT(TelemetryTotal(run, "Limiter", "waitUs"), 0u);
  const double target = 1.0 / rate;
  double leastAhead = INFINITY;
  size_t anchor = 0;
  for (size_t i = 0; i < run.frames.size() / 2; ++i) {
    double ahead = 0;
    for (size_t j = i + 1; j < run.frames.size(); ++j) {
      const double allowed = static_cast<double>(j - i) * target;
      ahead = std::max(ahead, allowed - (run.frames[j].at("wall") - run.frames[i].at("wall")));
    }
    if (ahead < leastAhead) leastAhead = ahead, anchor = i;
  }
  EXPECT_LE(leastAhead, 0.001) << "frames ran ahead of the grid of every anchor; the best, frame " << anchor;
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
