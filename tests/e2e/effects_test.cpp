// Particles and the image trail inside the simulated game: where its renderer drew a tracked
// particle against the game's own fraction, and how fast its trail fades per second.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kEffectsIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nParticleInterpolation=true\r\n"
    "ImageTrailTiming=true\r\n";

GameRun Play(const std::string& scenario) { return test::PlayGame(kEffectsIni, scenario); }

// The share of the trail a frame keeps per second, as at 60 draws per second with amount 1.
const double kSixtyHertzDecay = 60.0 * std::log1p(-std::exp(-1.0 * 0.015 * 60.0));

double DecayPerSecond(const std::map<std::string, double>& frame) {
  return std::log1p(-frame.at("trail_weight")) / frame.at("trail_interval");
}

TEST(Effects, ParticlesGlideAndTheTrailFadesAsAtSixtyHertz) {
  GameRun run = Play("duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\n");
  test::ExpectCleanRun(run);
  size_t frames = 0;
  for (const auto& frame : run.frames) {
    if (frame.at("wall") < 0.5) continue;
    SCOPED_TRACE(testing::Message() << "frame " << frame.at("index"));
    ++frames;
    EXPECT_NEAR(DecayPerSecond(frame), kSixtyHertzDecay, 0.01 * std::fabs(kSixtyHertzDecay));
    // The tracked particle moves 8.4e-3 in a tick.
    EXPECT_TRUE(test::ShownWhereTheGamesClockSays(frame, frame.at("particle_ticks")))
        << "the particle shows tick " << frame.at("particle_ticks") << ", the game's clock "
        << frame.at("expected_ticks") << " to " << frame.at("expected_ticks_end");
    EXPECT_LE(frame.at("particle_err"), 1e-4 + test::TruthSlack(frame, 8.4e-3));
  }
  ASSERT_GT(frames, 300u);
  // Every frame, the second viewport builds its vertices outside the render (the game checks
  // that they show the fixed-step positions).
  EXPECT_GE(TelemetryTotal(run, "Particles", "inactive"), frames);
  EXPECT_GT(TelemetryTotal(run, "ImageTrail", "adjusted"), frames / 2);

  run = Play("duration_seconds=1.5\nidle_after_seconds=1.3\npacing=jitter:144:30\n");
  test::ExpectCleanRun(run);
  for (const auto& frame : run.frames) {
    if (frame.at("wall") < 0.5) continue;
    EXPECT_NEAR(DecayPerSecond(frame), kSixtyHertzDecay, 0.01 * std::fabs(kSixtyHertzDecay))
        << "jittered frame " << frame.at("index");
  }
}

TEST(Effects, EveryEventIsCounted) {
  GameRun run = Play("duration_seconds=2.5\nidle_after_seconds=1.3\npacing=fixed:144\n"
                     "events=emitter4097@30:3,particle_nan@50:3,live_above_capacity@70:3,"
                     "trail_reentrant@90,trail_clear@110,stall@130\n");
  test::ExpectCleanRun(run);
  // A frame after the game hung (at tick 130, for 300 ms) or after any other long gap (a busy
  // machine): its clock starts over, as the game's own does, so the particles must show the fixed
  // step's positions, not a fraction carried over (which would put them a tick back).
  bool stallSeen = false;
  for (size_t i = 1; i < run.frames.size(); ++i) {
    const auto& frame = run.frames[i];
    const auto& before = run.frames[i - 1];
    if (frame.at("wall") - before.at("wall") <= 0.25) continue;
    stallSeen = stallSeen || (before.at("ticks") >= 130 && before.at("ticks") < 140);
    SCOPED_TRACE(testing::Message() << "frame " << frame.at("index"));
    EXPECT_EQ(frame.at("truth_valid"), 0);
    EXPECT_LE(frame.at("particle_err"), 1e-4);
  }
  EXPECT_TRUE(stallSeen);
  EXPECT_GE(TelemetryTotal(run, "Particles", "capacity"), 1u);
  EXPECT_GE(TelemetryTotal(run, "Particles", "invalid"), 2u) << "the NaN position and the live count";
  EXPECT_EQ(TelemetryTotal(run, "ImageTrail", "nested"), 1u);
  EXPECT_EQ(TelemetryTotal(run, "ImageTrail", "clear"), 1u);
  EXPECT_EQ(TelemetryTotal(run, "ImageTrail", "restoreFail"), 0u);
}

}  // namespace
}  // namespace driftglass
