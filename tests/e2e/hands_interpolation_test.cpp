// The first-person hands inside the simulated game: what its renderer drew for the hands, the
// held object, its attachments and the hand animation, against the game's own clock and state.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <cmath>
#include <string>
#include <vector>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kHandsIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nHandsRootInterpolation=true\r\n"
    "HandsPoseInterpolation=true\r\n";

GameRun Play(const std::string& scenario) { return test::PlayGame(kHandsIni, scenario); }

TEST(HandsInterpolation, HandsObjectAndAnimationAreDrawnWhereTheGamesClockSays) {
  GameRun run = Play("duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\n"
                     "camera_motion=turn\nturn_rate=2\n");
  test::ExpectCleanRun(run);
  // Distances from the blend of the two ticks at the game's own fraction. The game reads its
  // clock a moment before the plug-in does, so a rare late reading may stray further, but never
  // by a visible part of a tick.
  const char* const drawn[] = {"hands_err", "object_err", "attachment_err", "palette_err"};
  size_t frames = 0, between = 0, corrected = 0, blended = 0, paletteFrames = 0;
  size_t close[4] = {};
  std::set<double> ticksDrawn;
  for (const auto& frame : run.frames) {
    // The hand animation's palette is sampled by the frames: a tick that no frame saw (the game
    // caught up two ticks at once, as on a loaded machine) leaves its successor nothing to blend
    // from, and that tick is drawn as the game's own.
    const bool paletteSeen = ticksDrawn.count(frame.at("ticks") - 1) > 0;
    ticksDrawn.insert(frame.at("ticks"));
    if (frame.at("wall") < 0.5 || frame.at("truth_valid") == 0) continue;
    ++frames;
    corrected += frame.at("hands_corrected") > 0 && frame.at("object_corrected") > 0;
    // A frame the game's clock puts at the newest tick shows that tick's own palette.
    between += paletteSeen && frame.at("truth_alpha") < 1.0;
    blended += paletteSeen && frame.at("truth_alpha") < 1.0 && frame.at("palette_blended") > 0;
    paletteFrames += paletteSeen;
    for (int i = 0; i < 4; ++i) {
      if (i == 3 && !paletteSeen) continue;
      const double error = frame.at(drawn[i]);
      close[i] += error <= 1e-4;
      EXPECT_LE(error, 2e-3) << drawn[i] << " at frame " << frame.at("index");
    }
  }
  ASSERT_GT(frames, 300u);
  EXPECT_GE(corrected * 100, frames * 99) << "hands and held object drawn between ticks";
  EXPECT_GE(between * 100, frames * 90);
  EXPECT_GE(blended * 100, between * 99) << "hand animation drawn between ticks";
  for (int i = 0; i < 4; ++i) {
    EXPECT_GE(close[i] * 100, (i == 3 ? paletteFrames : frames) * 99) << drawn[i] << " within 1e-4";
  }
  EXPECT_GT(TelemetryTotal(run, "Hands", "objectHistory"), frames / 2);
  EXPECT_EQ(TelemetryTotal(run, "Hands", "attachmentRestoreFail"), 0u);
  EXPECT_EQ(TelemetryTotal(run, "Pose", "restoreFail"), 0u);
}

TEST(HandsInterpolation, EveryEventIsCountedAndTheHandsRecover) {
  const struct {
    const char* event;
    uint32_t tick, duration;
    const char* group;
    const char* counter;
    const char* recovered;  // the frame field that shows the hands drawn between ticks again
  } events[] = {
      {"hands_hidden", 40, 10, "Hands", "unavailable", "hands_corrected"},
      {"switch_object", 70, 0, "Hands", "objectModels", "object_corrected"},
      {"two_objects", 100, 5, "Hands", "invalid", "hands_corrected"},
      {"attachment_twice", 130, 5, "Hands", "attachments", "hands_corrected"},
      {"attachment_foreign_parent", 160, 5, "Hands", "attachmentParentMiss", "hands_corrected"},
      {"attachment_readonly", 190, 0, "Hands", "attachmentRestoreFail", "hands_corrected"},
      {"submeshes129", 220, 2, "Hands", "slotFull", "hands_corrected"},
      {"palette129", 250, 3, "Pose", "unavailable", "palette_blended"},
      {"palette_misaligned", 280, 3, "Pose", "unavailable", "palette_blended"},
      {"bone_count", 310, 0, "Pose", "identity", "palette_blended"},
      {"bone_nan", 340, 3, "Pose", "invalid", "palette_blended"},
  };
  std::string list;
  for (const auto& e : events) {
    if (!list.empty()) list.append(",");
    list.append(e.event).append("@").append(std::to_string(e.tick));
    if (e.duration != 0) list.append(":").append(std::to_string(e.duration));
  }
  GameRun run = Play("duration_seconds=6.3\nidle_after_seconds=1.3\npacing=fixed:144\ncamera_speed=2\n"
                     "events=" + list + "\n");
  test::ExpectCleanRun(run);
  for (const auto& e : events) {
    SCOPED_TRACE(e.event);
    EXPECT_GE(TelemetryTotal(run, e.group, e.counter), 1u) << e.group << " " << e.counter;
    const double end = e.tick + e.duration;
    int looked = 0;
    bool recovered = false;
    for (const auto& frame : run.frames) {
      if (frame.at("ticks") < end + 2 || looked++ == 4) continue;
      recovered = recovered || frame.at(e.recovered) > 0;
    }
    EXPECT_TRUE(recovered);
  }
  EXPECT_EQ(TelemetryTotal(run, "Hands", "attachmentRestoreFail"), 1u);
  EXPECT_EQ(run.facts, (std::vector<std::string>{"name=attachment-left-corrected value=1"}))
      << "the cache that turned read-only kept its correction; the others were restored";
  uint64_t seen = 0;
  for (const std::string& line : run.LinesStartingWith("INFO Telemetry interval=")) {
    const size_t at = line.find(" attachments=");
    if (at != std::string::npos) seen += strtoull(line.c_str() + line.find('/', at) + 1, nullptr, 10);
  }
  EXPECT_GT(seen, TelemetryTotal(run, "Hands", "attachments") + TelemetryTotal(run, "Hands", "attachmentParentMiss"))
      << "the attachment listed twice is seen twice and corrected once";
  EXPECT_LT(TelemetryTotal(run, "Hands", "objectHistory"), TelemetryTotal(run, "Hands", "objectModels"))
      << "the switched-to object starts without a history of its own";
  EXPECT_GT(TelemetryTotal(run, "Hands", "attachmentParentMiss"), 0u);
  const auto diagnostics = run.LinesStartingWith("WARN Hands pose diagnostic: ");
  ASSERT_EQ(diagnostics.size(), 1u) << "logged once";
  EXPECT_EQ(diagnostics[0].rfind("WARN Hands pose diagnostic: first invalid affine bone index=3 matrix=[", 0), 0u)
      << diagnostics[0];
}

}  // namespace
}  // namespace driftglass
