// The first-person hands inside the simulated game: what its renderer drew for the hands, the
// held object, its attachments and the hand animation, against the game's own clock and state.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
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
  // Distances from the blend of the two ticks at the game's fraction when the render started; the
  // plug-in reads its clock a moment later, within the render, by which time the hands, the held
  // object and its attachment (turning 2 rad/s) may have moved on by up to 0.1 in a tick, a bone's
  // matrix (swinging up to 0.045 rad a step) by 0.05.
  const struct {
    const char* field;
    double perTick;
    bool sampledByFrames;
  } drawn[] = {{"hands_err", 0.1, false},
               {"object_err", 0.1, false},
               {"attachment_err", 0.1, false},
               {"palette_err", 0.05, true}};
  const std::vector<bool> previousTickDrawn = test::PreviousTickDrawn(run);
  size_t frames = 0, between = 0;
  for (size_t i = 0; i < run.frames.size(); ++i) {
    const auto& frame = run.frames[i];
    if (frame.at("wall") < 0.5 || frame.at("truth_valid") == 0) continue;
    SCOPED_TRACE(testing::Message() << "frame " << frame.at("index"));
    ++frames;
    EXPECT_GT(frame.at("hands_corrected"), 0) << "hands drawn between ticks";
    EXPECT_GT(frame.at("object_corrected"), 0) << "held object drawn between ticks";
    // The hand animation's palette is sampled by the frames: a tick that no frame saw leaves its
    // successor nothing to blend from, and that tick is drawn as the game's own. A frame the
    // game's clock puts at the newest tick shows that tick's own palette.
    const bool paletteBlends = previousTickDrawn[i];
    if (paletteBlends && frame.at("truth_alpha_end") < 0.99) {
      ++between;
      EXPECT_GT(frame.at("palette_blended"), 0) << "hand animation drawn between ticks";
    }
    for (const auto& d : drawn) {
      if (d.sampledByFrames && !paletteBlends) continue;
      EXPECT_LE(frame.at(d.field), 1e-4 + test::TruthSlack(frame, d.perTick)) << d.field;
    }
  }
  ASSERT_GT(frames, 300u);
  EXPECT_GT(between, 100u);
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
  // The palette blends only over a tick some frame saw, and differs from the game's own only
  // between ticks.
  const std::vector<bool> previousTickDrawn = test::PreviousTickDrawn(run);
  const auto blends = [&](size_t i) { return previousTickDrawn[i] && run.frames[i].at("truth_alpha_end") < 0.99; };
  for (const auto& e : events) {
    SCOPED_TRACE(e.event);
    EXPECT_GE(TelemetryTotal(run, e.group, e.counter), 1u) << e.group << " " << e.counter;
    const std::string field = e.recovered;
    EXPECT_TRUE(test::RecoversWithinFourFrames(
        run, e.tick + e.duration + 2, [&field](const test::Frame& f) { return f.at(field) > 0; },
        field == "palette_blended" ? std::function<bool(size_t)>(blends) : nullptr));
  }
  EXPECT_EQ(TelemetryTotal(run, "Hands", "attachmentRestoreFail"), 1u);
  // The cache that turned read-only kept its correction; the others were restored.
  test::ExpectCorrectionLeft(run, "attachment-left-corrected");
  uint64_t seen = 0;
  for (const std::string& line : run.LinesStartingWith("INFO Telemetry interval=")) {
    const size_t at = line.find(" attachments=");
    if (at != std::string::npos) seen += strtoull(line.c_str() + line.find('/', at) + 1, nullptr, 10);
  }
  // Only a frame that corrected the held object while its list named the entity twice sees it
  // twice; a busy machine may draw none.
  bool twiceCorrected = false;
  for (const auto& frame : run.frames) {
    twiceCorrected = twiceCorrected || (frame.at("ticks") >= 130 && frame.at("ticks") < 135 &&
                                        frame.at("object_corrected") > 0);
  }
  if (twiceCorrected) {
    EXPECT_GT(seen, TelemetryTotal(run, "Hands", "attachments") + TelemetryTotal(run, "Hands", "attachmentParentMiss"))
        << "the attachment listed twice is seen twice and corrected once";
  }
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
