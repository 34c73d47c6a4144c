// Grunt and ragdoll poses inside the simulated game: the palettes its renderer drew against the
// blend of their two ticks at the game's own fraction, and what each feature combination draws.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kPoseIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nWorldRootInterpolation=true\r\n"
    "WorldPoseInterpolation=true\r\n";
constexpr int kTargets = 3;  // two Grunts and the ragdoll

GameRun Play(const std::string& ini, const std::string& scenario) { return test::PlayGame(ini, scenario); }

TEST(EnemyPoses, PalettesAreDrawnWhereTheGamesClockSays) {
  GameRun run = Play(kPoseIni, "duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\n");
  test::ExpectCleanRun(run);
  const std::vector<bool> previousTickDrawn = test::PreviousTickDrawn(run);
  size_t frames = 0, between = 0;
  for (size_t i = 0; i < run.frames.size(); ++i) {
    const auto& frame = run.frames[i];
    // A tick no frame saw leaves its successor's palettes nothing to blend from.
    if (frame.at("wall") < 0.5 || frame.at("truth_valid") == 0 || !previousTickDrawn[i]) continue;
    SCOPED_TRACE(testing::Message() << "frame " << frame.at("index"));
    ++frames;
    // Frames the game's clock puts at the newest tick show that tick's own palettes; every other
    // frame blends every Grunt and the ragdoll. A bone turns 2e-2 in a tick.
    if (frame.at("truth_alpha_end") < 0.99) {
      ++between;
      EXPECT_EQ(frame.at("pose_blended"), kTargets) << "every Grunt and the ragdoll drawn between ticks";
    }
    EXPECT_TRUE(test::ShownWhereTheGamesClockSays(frame, frame.at("bone_ticks")))
        << "the first Grunt's bone shows tick " << frame.at("bone_ticks") << ", the game's clock "
        << frame.at("expected_ticks") << " to " << frame.at("expected_ticks_end");
    EXPECT_LE(frame.at("pose_err"), 1e-4 + test::TruthSlack(frame, 3e-2));
  }
  ASSERT_GT(frames, 300u);
  EXPECT_GT(between, 100u);
  EXPECT_EQ(TelemetryTotal(run, "EnemyPose", "restoreFail"), 0u);
}

TEST(EnemyPoses, EveryEventIsCountedAndThePosesRecover) {
  GameRun run = Play(kPoseIni, "duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\n"
                               "events=pose_ninth@40:5,ragdoll_hidden@60:10,ragdoll_one_body@80:3,"
                               "ragdoll_33@90:3,enemy_skip@100,pose_bone_count@110,pose_readonly@120,"
                               "ragdoll_rest@140,grunt_reuse_near@160\n");
  test::ExpectCleanRun(run);
  const struct {
    const char* counter;
  } counted[] = {{"capacity"}, {"visibilitySkip"}, {"identity"}, {"restoreFail"}};
  for (const auto& c : counted) EXPECT_GE(TelemetryTotal(run, "EnemyPose", c.counter), 1u) << c.counter;
  EXPECT_EQ(TelemetryTotal(run, "EnemyPose", "restoreFail"), 1u);
  test::ExpectCorrectionLeft(run, "palette-left-blended", test::PreviousTickDrawn(run));
  // Fewer targets drawn blended while a ragdoll is ineligible or a Grunt skipped its update, and
  // all of them again a few frames after two more ticks; the resting ragdoll for good.
  const struct {
    double from, to;  // completed ticks
  } fewer[] = {{81, 83}, {91, 93}, {101, 102}, {142, 180}};
  for (const auto& f : fewer) {
    for (const auto& frame : run.frames) {
      if (frame.at("ticks") >= f.from && frame.at("ticks") < f.to) {
        EXPECT_LT(frame.at("pose_blended"), kTargets) << "frame " << frame.at("index");
      }
    }
  }
  const std::vector<bool> previousTickDrawn = test::PreviousTickDrawn(run);
  const auto blends = [&](size_t i) { return previousTickDrawn[i] && run.frames[i].at("truth_alpha_end") < 0.99; };
  for (const double end : {83.0, 93.0, 102.0}) {
    EXPECT_TRUE(test::RecoversWithinFourFrames(
        run, end + 2, [](const test::Frame& f) { return f.at("pose_blended") == kTargets; }, blends))
        << "after tick " << end;
  }
}

TEST(EnemyPoses, RagdollsNeedWorldRootsAndTheirOwnSwitch) {
  const struct {
    const char* label;
    std::string ini;
    int blended;
  } cases[] = {
      {"poses without world roots: Grunts only",
       "[Features]\r\nRenderUnlock=1\r\nCameraInterpolation=1\r\nWorldPoseInterpolation=1\r\n", 2},
      {"ragdoll poses off: Grunts only", kPoseIni + "RagdollPoseInterpolation=false\r\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    GameRun run = Play(c.ini, "duration_seconds=1.2\nidle_after_seconds=0.2\npacing=fixed:144\n");
    test::ExpectCleanRun(run);
    const std::vector<bool> previousTickDrawn = test::PreviousTickDrawn(run);
    size_t frames = 0;
    for (size_t i = 0; i < run.frames.size(); ++i) {
      const auto& frame = run.frames[i];
      if (frame.at("wall") < 0.5 || frame.at("truth_valid") == 0 || frame.at("truth_alpha_end") >= 0.99 ||
          !previousTickDrawn[i]) {
        continue;
      }
      ++frames;
      EXPECT_EQ(frame.at("pose_blended"), c.blended) << "frame " << frame.at("index");
    }
    EXPECT_GT(frames, 60u);
  }
}

}  // namespace
}  // namespace driftglass
