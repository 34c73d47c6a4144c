// The presentation limiter inside the simulated game: an uncapped game paced at TargetFPS or at
// the display's refresh rate, judged by the times of the frames the game drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
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
// at least `least` of the frames the rate allows over the run (or the frames [first, last)).
void ExpectPacedAt(const GameRun& run, double rate, size_t first = 0, size_t last = SIZE_MAX, double least = 0.5) {
  last = std::min(last, run.frames.size());
  ASSERT_GT(last, first + 20);
  const double span = run.frames[last - 1].at("wall") - run.frames[first].at("wall");
  const double frames = static_cast<double>(last - first - 1);
  EXPECT_GE(frames, least * rate * span) << frames << " frames in " << span << " s";
  EXPECT_GT(TelemetryTotal(run, "Limiter", "paced"), 0u);
  EXPECT_GT(TelemetryTotal(run, "Limiter", "waitUs"), 0u);
  const double target = 1.0 / rate;
  double leastAhead = INFINITY;
  size_t anchor = first;
  for (size_t i = first; i < first + (last - first) / 2; ++i) {
    double ahead = 0;
    for (size_t j = i + 1; j < last; ++j) {
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

// A player saving the INI while the game runs: TargetFPS 100 -> 50 with particles off, then a
// value the start-up would refuse, then the first file again. Judged by what the game drew: the
// frames follow each limit from about a second after each save (the file is looked at twice a
// second and taken once two looks agree), particles are drawn where the engine left them while
// off and blended again after, and the refused file changes nothing.
TEST(FramePacer, EditsOfTheIniApplyWhileTheGamePlays) {
  const std::string ini = std::string("[Telemetry]\r\nReportIntervalSeconds=1\r\nMotionTrace=true\r\n") +
                          "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\n"
                          "PresentationLimiter=true\r\nParticleInterpolation=";
  GameRun run;
  run.folder = std::make_unique<test::TempFolder>();
  test::WriteFileBytes(run.folder->File(L"Driftglass.ini.1"), ini + "false\r\n[Timing]\r\nTargetFPS=50\r\n");
  test::WriteFileBytes(run.folder->File(L"Driftglass.ini.2"), ini + "false\r\n[Timing]\r\nTargetFPS=fast\r\n");
  test::WriteFileBytes(run.folder->File(L"Driftglass.ini.3"), ini + "true\r\n[Timing]\r\nTargetFPS=100\r\n");
  test::GameSetup setup;
  setup.ini = ini + "true\r\n[Timing]\r\nTargetFPS=100\r\n";
  setup.scenario = "duration_seconds=10\nidle_after_seconds=1.3\npacing=uncapped\nlimit_fps=0\n"
                   "events=ini_rewrite@150,ini_rewrite@300,ini_rewrite@450\n";
  test::RunGame(setup, run);
  test::ExpectCleanRun(run);
  EXPECT_EQ(run.LinesStartingWith("INFO Settings changed:"),
            (std::vector<std::string>{"INFO Settings changed: ParticleInterpolation true -> false, TargetFPS 100 -> 50.",
                                      "INFO Settings changed: ParticleInterpolation false -> true, TargetFPS 50 -> 100."}));
  EXPECT_EQ(run.LinesStartingWith("WARN"),
            (std::vector<std::string>{"WARN Invalid [Timing] TargetFPS (expected 0..1000): fast; the running settings "
                                      "stay."}));

  // The frames from a second after each save to the next save.
  std::vector<double> saved;
  for (const std::string& fact : run.facts) {
    if (fact.rfind("name=ini_rewrite ", 0) == 0) saved.push_back(std::stod(fact.substr(fact.find("wall=") + 5)));
  }
  ASSERT_EQ(saved.size(), 3u);
  const auto stretch = [&](double from, double to) {
    size_t first = 0;
    while (first < run.frames.size() && run.frames[first].at("wall") < from) ++first;
    size_t last = first;
    while (last < run.frames.size() && run.frames[last].at("wall") < to) ++last;
    return std::make_pair(first, last);
  };
  const double settled = 1.2;
  const auto before = stretch(0.5, saved[0]);
  const auto slow = stretch(saved[0] + settled, saved[2]);  // the refused file in between changes nothing
  const auto again = stretch(saved[2] + settled, INFINITY);
  ExpectPacedAt(run, 100, before.first, before.second, 0.6);
  ExpectPacedAt(run, 50, slow.first, slow.second);
  ExpectPacedAt(run, 100, again.first, again.second, 0.6);
  const auto particles = [&](std::pair<size_t, size_t> frames, bool blended) {
    for (size_t i = frames.first; i < frames.second; ++i) {
      const test::Frame& f = run.frames[i];
      if (!blended) {
        EXPECT_EQ(f.at("particle_ticks"), f.at("ticks")) << "frame " << i << ": not where the engine left it";
      } else if (test::AcceptedThroughTheRender(f)) {
        EXPECT_TRUE(test::ShownWhereTheGamesClockSays(f, f.at("particle_ticks"))) << "frame " << i;
      }
    }
  };
  particles(before, true);
  particles(slow, false);
  particles(again, true);

  // Two changes applied: the telemetry counts them and the trace marks the first frame of each.
  EXPECT_EQ(test::GroupValue(run.LinesStartingWith("INFO Telemetry").back(), "Settings", "generation"), 2u);
  size_t marked = 0;
  for (const auto& row : test::TraceRows(run.motionTrace)) marked += (std::stoul(row[7]) & (1u << 10)) != 0;
  EXPECT_EQ(marked, 2u);
}

}  // namespace
}  // namespace driftglass
