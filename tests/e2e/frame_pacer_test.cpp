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
  EXPECT_GT(TelemetryTotal(run, "Limiter", "paced"), 0u);
  EXPECT_GT(TelemetryTotal(run, "Limiter", "waitUs"), 0u);

  // Under the virtual display the screen refreshes at 60 Hz.
  run = test::PlayGame(kLimiterIni + "0\r\n", scenario + "window=visible\n");
  test::ExpectCleanRun(run);
  EXPECT_TRUE(run.HasLine("INFO Presentation limiter enabled at the display's refresh rate."));
  EXPECT_TRUE(run.HasLine("INFO Presentation limiter: the display refreshes at 60 Hz; pacing at 60 frames "
                          "per second."));
  ExpectPacedAt(run, 60);
}

// The game with the plug-in, saving each of saves over its INI at the scenario's ini_rewrite
// events; the game's wall clock at each save.
std::vector<double> PlayWithSaves(GameRun& run, const std::string& ini, const std::vector<std::string>& saves,
                                  const std::string& scenario) {
  run.folder = std::make_unique<test::TempFolder>();
  for (size_t i = 0; i < saves.size(); ++i) {
    test::WriteFileBytes(run.folder->File(L"Driftglass.ini." + std::to_wstring(i + 1)), saves[i]);
  }
  test::GameSetup setup;
  setup.ini = ini;
  setup.scenario = scenario;
  test::RunGame(setup, run);
  std::vector<double> saved;
  for (const std::string& fact : run.facts) {
    if (fact.rfind("name=ini_rewrite ", 0) == 0) saved.push_back(std::stod(fact.substr(fact.find("wall=") + 5)));
  }
  return saved;
}

// The frames drawn from wall-clock second from to second to, as [first, last).
std::pair<size_t, size_t> Stretch(const GameRun& run, double from, double to) {
  size_t first = 0;
  while (first < run.frames.size() && run.frames[first].at("wall") < from) ++first;
  size_t last = first;
  while (last < run.frames.size() && run.frames[last].at("wall") < to) ++last;
  return {first, last};
}

// A save is taken about a second later: the file is looked at twice a second and taken once two
// looks agree.
constexpr double kSettled = 1.2;

// A player saving the INI while the game runs: TargetFPS 100 -> 50 with the camera, the hands' pose
// and particles off, then a value the start-up would refuse, then the first file again, then the
// motion trace off and on. Judged by what the game drew: the frames follow each limit from about a
// second after each save, what is off is drawn where the engine left it (and the telemetry counts
// those frames as drawn without the correction, not as waits for the clock) and blended again
// after, the refused file changes nothing, and the trace turned on again records into a file of its
// own, leaving the first recording whole.
TEST(FramePacer, EditsOfTheIniApplyWhileTheGamePlays) {
  const auto ini = [](bool drawn, const char* targetFps, const char* trace = "true") {
    const char* on = drawn ? "true" : "false";
    return std::string("[Telemetry]\r\nReportIntervalSeconds=1\r\nMotionTrace=") + trace + "\r\n" +
           "[Features]\r\nRenderUnlock=true\r\nPresentationLimiter=true\r\nHandsRootInterpolation=true\r\n" +
           "CameraInterpolation=" + on + "\r\nHandsPoseInterpolation=" + on + "\r\nParticleInterpolation=" + on +
           "\r\n[Timing]\r\nTargetFPS=" + targetFps + "\r\n";
  };
  GameRun run;
  const std::vector<double> saved =
      PlayWithSaves(run, ini(true, "100"),
                    {ini(false, "50"), ini(false, "fast"), ini(true, "100"), ini(true, "100", "false"), ini(true, "100")},
                    "duration_seconds=12\nidle_after_seconds=1.3\npacing=uncapped\nlimit_fps=0\n"
                    "events=ini_rewrite@150,ini_rewrite@300,ini_rewrite@450,ini_rewrite@560,ini_rewrite@620\n");
  test::ExpectCleanRun(run);
  EXPECT_EQ(run.LinesStartingWith("INFO Settings changed:"),
            (std::vector<std::string>{"INFO Settings changed: CameraInterpolation true -> false, HandsPoseInterpolation "
                                      "true -> false, ParticleInterpolation true -> false, TargetFPS 100 -> 50.",
                                      "INFO Settings changed: CameraInterpolation false -> true, HandsPoseInterpolation "
                                      "false -> true, ParticleInterpolation false -> true, TargetFPS 50 -> 100.",
                                      "INFO Settings changed: MotionTrace true -> false.",
                                      "INFO Settings changed: MotionTrace false -> true."}));
  EXPECT_EQ(run.LinesStartingWith("WARN"),
            (std::vector<std::string>{"WARN Invalid [Timing] TargetFPS (expected 0..1000): fast; the running settings "
                                      "stay."}));

  // The frames from a second after each save to the next save.
  ASSERT_EQ(saved.size(), 5u);
  const auto before = Stretch(run, 0.5, saved[0]);
  const auto slow = Stretch(run, saved[0] + kSettled, saved[2]);  // the refused file in between changes nothing
  const auto again = Stretch(run, saved[2] + kSettled, saved[3]);
  ExpectPacedAt(run, 100, before.first, before.second, 0.6);
  ExpectPacedAt(run, 50, slow.first, slow.second);
  ExpectPacedAt(run, 100, again.first, again.second, 0.6);
  EXPECT_GT(TelemetryTotal(run, "Limiter", "paced"), 0u);
  // The hands' root is blended throughout; their pose only while it is on.
  const auto drawn = [&](std::pair<size_t, size_t> frames, bool blended) {
    size_t posesBlended = 0;
    for (size_t i = frames.first; i < frames.second; ++i) {
      const test::Frame& f = run.frames[i];
      posesBlended += f.at("palette_blended") != 0;
      if (f.at("truth_valid") != 0) {
        EXPECT_GT(f.at("hands_corrected"), 0) << "frame " << i;
      }
      for (const char* shown : {"drawn_ticks", "particle_ticks"}) {
        if (!blended) {
          EXPECT_EQ(f.at(shown), f.at("ticks")) << "frame " << i << ": " << shown << " not where the engine left it";
        } else if (test::AcceptedThroughTheRender(f)) {
          EXPECT_TRUE(test::ShownWhereTheGamesClockSays(f, f.at(shown))) << "frame " << i << ": " << shown;
        }
      }
    }
    if (blended) {
      EXPECT_GT(posesBlended, (frames.second - frames.first) / 4);
    } else {
      EXPECT_EQ(posesBlended, 0u);
    }
  };
  drawn(before, true);
  drawn(slow, false);
  drawn(again, true);
  // Only the frames before the first two ticks waited for the clock.
  EXPECT_LT(TelemetryTotal(run, "Camera", "clockWait"), 20u);

  // Four changes applied: the telemetry counts them; the first recording holds its frames from the
  // start and marks the first frame of each change it saw, the second the change that began it.
  const std::string second = test::ReadFileBytes(run.folder->File(L"Driftglass.motion.2.csv"));
  EXPECT_TRUE(run.HasLine("INFO Motion trace: recording to " + test::ToUtf8(run.folder->File(L"Driftglass.motion.2.csv")) +
                          "."));
  EXPECT_EQ(test::GroupValue(run.LinesStartingWith("INFO Telemetry").back(), "Settings", "generation"), 4u);
  const auto marks = [](const std::vector<std::vector<std::string>>& rows) {
    size_t marked = 0;
    for (const auto& row : rows) marked += (std::stoul(row[7]) & (1u << 10)) != 0;
    return marked;
  };
  const auto first = test::TraceRows(run.motionTrace);
  const auto later = test::TraceRows(second);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(later.empty());
  EXPECT_EQ(marks(first), 2u);
  EXPECT_EQ(marks(later), 1u);
  const double firstRecorded = std::stod(first.front()[0]);
  const double secondRecorded = std::stod(later.front()[0]);
  EXPECT_LT(firstRecorded, secondRecorded);
  EXPECT_LT(std::stod(first.back()[0]), secondRecorded) << "the first recording ends before the second begins";
}

// A start that asked only for the render unlock and the trail timing, with no telemetry: its saves
// still apply, because every start has the tick's detour. The limiter turned on paces the frames;
// a later save of the trail alone leaves the limiter's grid as it was (no frame runs ahead of it),
// and the trail is drawn with the engine's own amount from then on.
TEST(FramePacer, ATrailOnlyStartIsPacedWhenTheIniAsksAndKeepsItsGridThroughOtherChanges) {
  const auto ini = [](const char* limiter, const char* trail) {
    return std::string("[Telemetry]\r\nEnabled=false\r\n[Features]\r\nRenderUnlock=true\r\n") +
           "PresentationLimiter=" + limiter + "\r\nImageTrailTiming=" + trail + "\r\n[Timing]\r\nTargetFPS=100\r\n";
  };
  GameRun run;
  const std::vector<double> saved =
      PlayWithSaves(run, ini("false", "true"), {ini("true", "true"), ini("true", "false")},
                    "duration_seconds=7.5\nidle_after_seconds=1.3\npacing=uncapped\nlimit_fps=0\n"
                    "events=ini_rewrite@90,ini_rewrite@300\n");
  test::ExpectCleanRun(run);
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(run.LinesStartingWith("INFO Settings changed:"),
            (std::vector<std::string>{"INFO Settings changed: PresentationLimiter false -> true.",
                                      "INFO Settings changed: ImageTrailTiming true -> false."}));
  EXPECT_TRUE(run.LinesStartingWith("WARN").empty());
  const auto unpaced = Stretch(run, 0.5, saved[0]);
  ASSERT_GT(unpaced.second, unpaced.first);
  EXPECT_GT((unpaced.second - unpaced.first) / (saved[0] - 0.5), 200.0) << "frames per second before the limiter";
  // Across the second save, anchored before it is applied.
  const auto across = Stretch(run, saved[1] - 1.5, saved[1] + 2.0);
  ExpectPacedAt(run, 100, Stretch(run, saved[0] + kSettled, saved[1]).first, across.first, 0.6);
  ExpectPacedAt(run, 100, across.first, across.second, 0.6);
  const auto trail = [&](std::pair<size_t, size_t> frames, bool corrected) {
    for (size_t i = frames.first; i < frames.second; ++i) {
      const test::Frame& f = run.frames[i];
      const double stock = std::exp(-0.015 / f.at("trail_interval"));  // the gameplay amount, 1
      const double perSecond = std::log1p(-f.at("trail_weight")) / f.at("trail_interval");
      if (corrected) {
        EXPECT_NEAR(perSecond, 60.0 * std::log1p(-std::exp(-0.9)), 0.01 * 60.0 * -std::log1p(-std::exp(-0.9)))
            << "frame " << i;
      } else {
        EXPECT_NEAR(f.at("trail_weight"), stock, 1e-5 * stock) << "frame " << i;
      }
    }
  };
  trail(Stretch(run, 0.5, saved[1]), true);
  trail(Stretch(run, saved[1] + kSettled, INFINITY), false);
}

}  // namespace
}  // namespace driftglass
