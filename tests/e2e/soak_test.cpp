// A minute of everything at once: the simulated game plays a seeded random mix of every event it
// knows while its pacing changes between fixed rates, jitter and uncapped frames, with every
// feature on and the limiter capping the fast stretches. Judged by the game's own truth: nothing
// broken, every drawn frame in the trace once, the telemetry's sums equal to the game's own
// counts, and after the warm-up the process no bigger than a small fixed bound.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/build_paths.h"
#include "support/game_run.h"
#include "simhost/scenarios/soak_figures.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::GameRun;

// The shipped INI (every feature on) with the trace, a report every second, and the limiter at a
// rate that caps the uncapped stretches but none of the fixed or jittered ones.
std::string SoakIni() {
  std::string ini = test::ReadFileBytes(DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.ini");
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"MotionTrace=false", "MotionTrace=true"},
                                 {"ReportIntervalSeconds=5", "ReportIntervalSeconds=1"},
                                 {"TargetFPS=0", "TargetFPS=300"}}) {
    const size_t at = ini.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) ini.replace(at, from.size(), to);
  }
  return ini;
}

TEST(Soak, AMinuteOfEverythingAtOnceBreaksNothingLosesNothingAndKeepsTheProcessFlat) {
  test::GameSetup setup;
  setup.ini = SoakIni();
  setup.scenario = "duration_seconds=60\nsoak_seed=1\n" +
                   test::ReadFileBytes(DRIFTGLASS_SOURCE_DIR L"\\simhost\\scenarios\\soak.txt");
  setup.timeoutMs = 600000;
  GameRun run;
  test::RunGame(setup, run);
  test::ExpectCleanRun(run);
  const soak::SoakFigures f = soak::ReadSoakFigures(run.folder->path());
  ASSERT_TRUE(f.recordRead);

  // Every event family, in the warm-up and after it, and pacing of every kind.
  for (const char* family : {"camera", "hands", "world", "poses", "effects", "stall", "mouse", "keyboard"}) {
    EXPECT_GE(f.eventsByFamily.count(family) ? f.eventsByFamily.at(family) : 0, 2u) << family;
  }
  EXPECT_EQ(f.eventsByName.size(), 55u);
  for (const auto& [name, count] : f.eventsByName) EXPECT_GE(count, 2u) << name;
  EXPECT_GE(f.pacings.size(), 4u);
  EXPECT_EQ(f.pacings.count("uncapped"), 1u);
  EXPECT_GT(test::TelemetryTotal(run, "Limiter", "paced"), 0u) << "the uncapped stretches were paced";

  // The game checked its truth at every tick and frame, and none of it broke.
  EXPECT_EQ(f.failures, 0u);
  EXPECT_GE(f.checks, 8 * f.frames + 5 * f.ticks);
  EXPECT_GT(f.keyPresses, 1u);

  // Every drawn frame is in the trace once, in its place; nothing was dropped.
  EXPECT_EQ(f.traceRows, f.frames);
  EXPECT_EQ(f.traceRowsOfTheirFrame, f.frames);
  EXPECT_EQ(f.traceWritten, f.frames);
  EXPECT_EQ(f.traceDropped, 0u);

  // The telemetry's sums are the game's own counts.
  EXPECT_EQ(f.telemetryTicks, f.ticks);
  EXPECT_EQ(f.telemetrySceneRender, f.frames);
  EXPECT_EQ(f.telemetryOnDraw, f.onDraw);
  EXPECT_EQ(f.telemetryOnPostRender, f.onPostRender);
  EXPECT_EQ(f.keyPressesToTheGame, f.keyPresses) << "the game's window had the foreground at every press";
  EXPECT_EQ(f.compareSwitches, f.keyPressesToTheGame);

  // Every mouse count SDL2 received reached the game once.
  EXPECT_EQ(f.mouseReadX, f.sdlX);
  EXPECT_EQ(f.mouseReadY, f.sdlY);

  // After the warm-up the process stays flat.
  ASSERT_GE(f.samples, 50u);
  EXPECT_GE(f.warm.ticks, f.warmUpTick);
  EXPECT_GT(f.warm.handles, 0u);
  EXPECT_GT(f.warm.threads, 0u);
  EXPECT_LE(f.most.privateBytes - f.warm.privateBytes, soak::kSoakPrivateBytesGrowth);
  EXPECT_LE(f.most.handles - f.warm.handles, soak::kSoakHandlesGrowth);
  EXPECT_LE(f.most.threads - f.warm.threads, soak::kSoakThreadsGrowth);
  EXPECT_TRUE(soak::MeetsTheSoakBar(f)) << "scripts/soak.sh judges a long run by the same bar";
}

}  // namespace
}  // namespace driftglass
