// Props, unowned bodies and Grunts inside the simulated game: what its renderer drew for the
// objects it tracks, against the game's own clock and physics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kWorldIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nWorldRootInterpolation=true\r\n";

// The game's tracked objects, by their bit in world_mask.
enum : unsigned { kProp = 1, kReusedProp = 2, kMultiBodyProp = 4, kStandaloneBody = 8, kGrunt = 16 };

GameRun Play(const std::string& scenario) { return test::PlayGame(kWorldIni, scenario); }

bool Corrected(const std::map<std::string, double>& frame, unsigned objects) {
  return (static_cast<unsigned>(frame.at("world_mask")) & objects) == objects;
}

TEST(WorldInterpolation, ObjectsAreDrawnWhereTheGamesClockSays) {
  GameRun run = Play("duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\n");
  test::ExpectCleanRun(run);
  const unsigned all = kProp | kReusedProp | kMultiBodyProp | kStandaloneBody | kGrunt;
  size_t frames = 0;
  for (const auto& frame : run.frames) {
    if (frame.at("wall") < 0.5 || frame.at("truth_valid") == 0) continue;
    SCOPED_TRACE(testing::Message() << "frame " << frame.at("index"));
    ++frames;
    EXPECT_TRUE(Corrected(frame, all)) << "props, bodies and Grunts drawn from the plug-in's matrices";
    for (const char* shown : {"prop_ticks", "body_ticks", "grunt_ticks"}) {
      EXPECT_TRUE(test::ShownWhereTheGamesClockSays(frame, frame.at(shown)))
          << shown << " " << frame.at(shown) << ", the game's clock " << frame.at("expected_ticks") << " to "
          << frame.at("expected_ticks_end");
    }
    // Every tracked object against its blend at the render's start; the fastest, a Grunt, walks
    // 0.8 units a second, 1.3e-2 in a tick.
    EXPECT_LE(frame.at("world_err"), 1e-4 + test::TruthSlack(frame, 1.4e-2));
  }
  ASSERT_GT(frames, 300u);
  EXPECT_GT(TelemetryTotal(run, "World", "propModels"), frames);
  EXPECT_GT(TelemetryTotal(run, "World", "propDirectModels"), 0u);
  EXPECT_GT(TelemetryTotal(run, "World", "propParentModels"), TelemetryTotal(run, "World", "propDirectModels"))
      << "sub-meshes attached through a node follow their body by the parent walk";
  EXPECT_GT(TelemetryTotal(run, "World", "propNullModels"), 0u);
  EXPECT_GT(TelemetryTotal(run, "World", "gruntModels"), 0u);
  EXPECT_GT(TelemetryTotal(run, "World", "standaloneModels"), 0u);
  EXPECT_GT(TelemetryTotal(run, "World", "propHistoryModels") + TelemetryTotal(run, "World", "modelCacheApplied"), 0u)
      << "the sub-mesh that follows no body of its prop uses its own history";
  EXPECT_EQ(TelemetryTotal(run, "World", "modelRestoreFail"), 0u);
}

TEST(WorldInterpolation, EveryEventIsCountedAndTheWorldRecovers) {
  const struct {
    const char* event;
    uint32_t tick, duration;
    const char* counter;  // "" when the event is seen only in what was drawn
    unsigned object;      // drawn between ticks again within a few frames of two ticks
  } events[] = {
      {"world_teleport", 40, 0, "resets", kProp},
      {"world_callbacks", 50, 0, "movedOverflow", kProp},
      {"world_submeshes513", 60, 2, "slotFull", kProp},
      // The prop that jumps is the one that sleeps: its events come first. Long enough for a
      // scheduled check; the events on other objects meanwhile.
      {"world_sleep", 70, 100, "sleepCached", kProp},
      {"world_prop33", 110, 3, "", kMultiBodyProp},
      {"world_reversed_bodies", 120, 3, "", kMultiBodyProp},
      {"world_readonly", 140, 0, "modelRestoreFail", kMultiBodyProp},
      {"world_reuse", 150, 0, "", kReusedProp},
      // Same memory, same body or mesh, a short step away: only the identity words tell the new
      // object from the old (the game checks it is never drawn blended from the old one).
      {"world_reuse_near", 165, 0, "", kReusedProp},
      {"grunt_reuse_near", 175, 0, "", kGrunt},
  };
  std::string list;
  for (const auto& e : events) {
    if (!list.empty()) list.append(",");
    list.append(e.event).append("@").append(std::to_string(e.tick));
    if (e.duration != 0) list.append(":").append(std::to_string(e.duration));
  }
  GameRun run = Play("duration_seconds=3.2\nidle_after_seconds=1.3\npacing=fixed:144\nevents=" + list + "\n");
  test::ExpectCleanRun(run);
  for (const auto& e : events) {
    SCOPED_TRACE(e.event);
    if (*e.counter != '\0') {
      EXPECT_GE(TelemetryTotal(run, "World", e.counter), 1u) << e.counter;
    }
    EXPECT_TRUE(test::RecoversWithinFourFrames(run, e.tick + e.duration + 2,
                                               [&e](const test::Frame& f) { return Corrected(f, e.object); }));
  }
  // An ineligible body array leaves the prop as the engine drew it.
  for (const auto& frame : run.frames) {
    const double ticks = frame.at("ticks");
    if ((ticks >= 111 && ticks < 113) || (ticks >= 121 && ticks < 123)) {
      EXPECT_FALSE(Corrected(frame, kMultiBodyProp)) << "frame " << frame.at("index");
    }
  }
  EXPECT_EQ(TelemetryTotal(run, "World", "modelRestoreFail"), 1u);
  test::ExpectCorrectionLeft(run, "world-cache-left-written");
  EXPECT_GT(TelemetryTotal(run, "World", "movedMatched"), 0u);
  EXPECT_GT(TelemetryTotal(run, "World", "sleeping"), 0u);
}

}  // namespace
}  // namespace driftglass
