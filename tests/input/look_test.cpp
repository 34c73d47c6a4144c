#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "input/look_command.h"
#include "input/look_preview.h"
#include "input/player_dequantize.h"
#include "support/fake_camera.h"

namespace driftglass {
namespace {

TEST(Look, RoundingIsHalvesAwayFromZeroAndBoundedByTheSixtyFourBitRange) {
  const struct {
    int64_t count;
    float sensitivity;
    int64_t rounded;
  } cases[] = {
      {5, 0.5f, 3},   {-5, 0.5f, -3}, {3, 0.7f, 2},  {1, 0.4f, 0},
      {-7, 1.5f, -11}, {4, std::numeric_limits<float>::quiet_NaN(), 0},
      {INT64_MAX, 2.0f, INT64_MAX},   {INT64_MIN, 2.0f, INT64_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundScaled(c.count, c.sensitivity), c.rounded) << c.count << " x " << c.sensitivity;
  }
  float angle = 1.0f;
  EXPECT_TRUE(CountsToAngle(10, 1.5f, -0.002f, angle));
  EXPECT_FLOAT_EQ(angle, -0.03f);
  EXPECT_FALSE(CountsToAngle(10, 0.0f, -0.002f, angle));
  EXPECT_EQ(angle, 0.0f);
  EXPECT_FALSE(CountsToAngle(INT64_MAX, 1e30f, -0.09f, angle));  // beyond a float
}

TEST(Look, ShapesAndTheStreakBackToDirect) {
  EXPECT_EQ(ClassifyCommandShape(0, -0.01f, 0, -0.01f), kShapeMatch);
  EXPECT_EQ(ClassifyCommandShape(0, -0.014f, 0, -0.01f), kShapeMatch);  // within half of it
  EXPECT_EQ(ClassifyCommandShape(0, -0.016f, 0, -0.01f), kShapeMismatch);
  EXPECT_EQ(ClassifyCommandShape(0.00002f, 0, 0, 0), kShapeMismatch);  // 1e-5 is the floor
  EXPECT_EQ(ClassifyCommandShape(0, 5e-7f, 0, 0), kShapeNone);
  EXPECT_EQ(ClassifyCommandShape(NAN, 0, 0, 0), kShapeNonFinite);

  DirectMode mode;
  UpdateDirectMode(mode, kShapeMismatch);
  EXPECT_FALSE(mode.direct);
  for (int i = 0; i < 11; ++i) UpdateDirectMode(mode, kShapeMatch);
  UpdateDirectMode(mode, kShapeNone);  // a still tick breaks the streak
  EXPECT_FALSE(mode.direct);
  for (int i = 0; i < 11; ++i) UpdateDirectMode(mode, kShapeMatch);
  EXPECT_FALSE(mode.direct);
  UpdateDirectMode(mode, kShapeMatch);
  EXPECT_TRUE(mode.direct);
}

// A live pass that read (x, y) once and turned the camera by (pitch, yaw).
GameplayInputFrame Pass(int32_t x, int32_t y, float pitch, float yaw, const void* camera) {
  GameplayInputFrame frame;
  frame.reads = 1;
  frame.lastX = x;
  frame.lastY = y;
  frame.camera = const_cast<void*>(camera);
  frame.pitchSum = pitch;
  frame.yawSum = yaw;
  frame.yawCount = frame.pitchCount = 1;
  return frame;
}

TEST(Look, TheScaleIsLearnedRefinedOnlyByMatchesAndFallbackTakesTwelveMatchesToLeave) {
  const int camera = 0;
  LookState look;
  MouseAudit audit;
  CaptureAngularCommand(look, Pass(10, 0, 0, -0.02f, &camera), audit, 1, 1.0f, false);
  EXPECT_TRUE(look.scale.valid);
  EXPECT_FLOAT_EQ(look.scale.scale, -0.002f);
  EXPECT_TRUE(look.ring[0].valid && look.ring[0].direct);
  EXPECT_EQ(look.ring[0].tick, 2u);
  CaptureAngularCommand(look, Pass(5, 0, 0, -0.0105f, &camera), audit, 2, 1.0f, false);
  EXPECT_EQ(audit.commandShapeMatch.load(), 2u);
  EXPECT_FLOAT_EQ(look.scale.scale, 0.875f * -0.002f + 0.125f * -0.0021f);
  for (float yaw : {-2.0f, -1e-6f}) {  // ratios -0.2 and -1e-7
    CaptureAngularCommand(look, Pass(10, 0, 0, yaw, &camera), audit, 3, 1.0f, false);
  }
  EXPECT_EQ(audit.scaleReject.load(), 2u);

  const float learned = look.scale.scale;
  CaptureAngularCommand(look, Pass(10, 0, 0, -0.04f, &camera), audit, 4, 1.0f, false);  // twice the expected
  EXPECT_FALSE(look.mode.direct);
  EXPECT_EQ(audit.transitionsToFallback.load(), 1u);
  EXPECT_FALSE(look.ring[1].direct);
  for (int i = 0; i < 12; ++i) {
    CaptureAngularCommand(look, Pass(10, 0, 0, 10 * learned, &camera), audit, 5 + i, 1.0f, false);
  }
  EXPECT_TRUE(look.mode.direct);
  EXPECT_EQ(audit.transitionsToDirect.load(), 1u);
  EXPECT_GE(audit.scaleFrozen.load(), 12u);  // not refined while in fallback

  // Inverted Y: pitch turns with the count's sign.
  CaptureAngularCommand(look, Pass(0, 10, 10 * -learned, 0, &camera), audit, 20, 1.0f, true);
  EXPECT_TRUE(look.mode.direct);
  // A pass without a camera or with two reads records an invalid command.
  GameplayInputFrame twice = Pass(1, 0, 0, -0.002f, &camera);
  twice.reads = 2;
  CaptureAngularCommand(look, twice, audit, 21, 1.0f, false);
  EXPECT_FALSE(look.ring[0].valid);
  EXPECT_EQ(audit.commandMissing.load(), 1u);

  // A dequantized turn is judged against the exact product (3 × 0.5 = 1.5), not the rounded 2.
  LookState exact;
  GameplayInputFrame half = Pass(3, 0, 0, 1.5f * -0.002f, &camera);
  half.yawDequantized = true;
  CaptureAngularCommand(exact, half, audit, 1, 0.5f, false);
  EXPECT_FLOAT_EQ(exact.scale.scale, -0.002f);
}

TEST(Look, ATurnOnASecondCameraIsNotThePassesTurn) {
  const int first = 0, second = 0;
  MouseAudit audit;
  GameplayInputFrame frame;
  AddCameraRotation(frame, audit, &first, 0.1f, false);  // outside a pass: nothing
  EXPECT_EQ(frame.yawCount, 0u);
  frame.inGameplayInput = true;
  AddCameraRotation(frame, audit, &first, -0.01f, false);
  AddCameraRotation(frame, audit, &second, 0.5f, true);
  AddCameraRotation(frame, audit, &first, 0.02f, true);
  EXPECT_FLOAT_EQ(frame.yawSum, -0.01f);
  EXPECT_FLOAT_EQ(frame.pitchSum, 0.02f);
  EXPECT_EQ(audit.invalid.load(), 1u);
}

TEST(Look, PlayerAnglesGetTheExactProductOnceTheUnitIsKnown) {
  GameplayInputFrame frame;
  frame.inGameplayInput = frame.previewEligible = true;
  frame.reads = 1;
  frame.sensitivity = 0.7f;
  LearnedUnit unit;
  MouseAudit audit;
  float out = 0.0f;
  ASSERT_TRUE(DequantizePlayerAngle(frame, unit, audit, -0.004f, 3, false, out));
  EXPECT_NEAR(out, -0.0042f, 1e-7f);
  EXPECT_FLOAT_EQ(unit.unit, 0.002f);
  EXPECT_FALSE(DequantizePlayerAngle(frame, unit, audit, -0.0041f, 3, false, out));  // 2.5 % away
  EXPECT_EQ(out, -0.0041f);
  EXPECT_TRUE(DequantizePlayerAngle(frame, unit, audit, -0.00403f, 3, false, out));  // 0.75 % away
  EXPECT_FALSE(DequantizePlayerAngle(frame, unit, audit, 0.004f, 3, false, out));    // turns with the count
  EXPECT_FALSE(DequantizePlayerAngle(frame, unit, audit, 0.004f, 3, true, out));
  frame.invertY = true;
  EXPECT_TRUE(DequantizePlayerAngle(frame, unit, audit, 0.004f, 3, true, out));
  EXPECT_EQ(audit.playerDequantized.load(), 3u);
  EXPECT_EQ(audit.playerDequantizeReject.load(), 3u);

  // Outside a qualifying pass, or a count that rounds to nothing: passed on, not counted.
  GameplayInputFrame twice = frame;
  twice.reads = 2;
  GameplayInputFrame smooth = frame;
  smooth.previewEligible = false;
  EXPECT_FALSE(DequantizePlayerAngle(twice, unit, audit, -0.004f, 3, false, out));
  EXPECT_FALSE(DequantizePlayerAngle(smooth, unit, audit, -0.004f, 3, false, out));
  frame.sensitivity = 0.4f;
  EXPECT_FALSE(DequantizePlayerAngle(frame, unit, audit, -0.004f, 1, false, out));
  EXPECT_EQ(audit.playerDequantized.load() + audit.playerDequantizeReject.load(), 6u);
}

TEST(Look, PreviewNeedsALiveLookAndTheAppliedCamera) {
  LookState look;
  MouseState mouse;
  CameraInterpolator camera;
  MouseAudit audit;
  ClockSample sample;
  sample.currentTick = 5;
  RigidTransform correction;
  PreviewRecord record;
  mouse.tickPending.Add(4, -2);
  EXPECT_FALSE(ApplyLookPreview(look, mouse, camera, audit, sample, 5, correction, record));
  EXPECT_EQ(record.pendingX, 4);  // recorded even when nothing runs
  EXPECT_EQ(audit.previewNoCommand.load(), 0u);
  mouse.mouseOverlay = true;
  mouse.gameplayLive = true;
  EXPECT_FALSE(ApplyLookPreview(look, mouse, camera, audit, sample, 5, correction, record));
  EXPECT_EQ(audit.previewNoCommand.load(), 1u);  // no camera applied this frame
  EXPECT_EQ(mouse.tickPending.x.load(), 4);      // read, never taken
}

// The preview on a camera drawn half-way between two ticks, with a turn of the newer tick not yet
// shown and pending counts: the drawn view turns by half the turn plus the counts at the captured
// sensitivity and scale (pitch against the scale with inverted Y), in direct mode only; a preview
// whose hands correction fails leaves the camera's angles as they were and says so.
TEST(Look, PreviewTurnsTheDrawnCameraByTheUnshownTurnAndThePendingCounts) {
  constexpr float kScale = -0.0011f;
  const struct {
    const char* name;
    float sensitivity;
    bool invertY;
    bool direct;
    float position;  // x and y; far enough out, the view's matrix cannot be inverted
    float angle;     // the camera's pitch and yaw at both ticks
    bool applied;
    float pitch, yaw;
  } cases[] = {
      {"sensitivity 1", 1.0f, false, true, 1.5f, 0.0f, true, 0.02f + 4 * kScale, -0.04f + 10 * kScale},
      {"sensitivity 0.5", 0.5f, false, true, 1.5f, 0.0f, true, 0.02f + 2 * kScale, -0.04f + 5 * kScale},
      {"sensitivity 2, inverted Y", 2.0f, true, true, 1.5f, 0.0f, true, 0.02f - 8 * kScale,
       -0.04f + 20 * kScale},
      {"fallback mode", 1.0f, false, false, 1.5f, 0.0f, false, 0.0f, 0.0f},
      {"hands correction fails", 1.0f, false, true, 3e38f, 0.7f, false, 0.7f, 0.7f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::View v;
    CameraInterpolator camera = test::FreshCamera();
    v.SetPose(c.position, c.angle, c.angle, c.position);
    ASSERT_EQ(camera.ApplyCamera(v.scene, 0, ClockSample{}), kCameraIdentityChanged);
    ASSERT_EQ(camera.CaptureCamera(1, 0), kCameraCaptured);
    ASSERT_EQ(camera.CaptureCamera(2, 0), kCameraCaptured);
    ASSERT_EQ(camera.ApplyCamera(v.scene, 2, test::Interpolated(1, 0.5)), kCameraApplied);

    LookState look;
    look.ring[0] = AngularCommand{2, v.camera, 0.04f, -0.08f, c.direct, true};
    look.scale = CommandScale{kScale, true, v.camera, c.sensitivity, c.invertY};
    MouseState mouse;
    mouse.mouseOverlay = true;
    mouse.gameplayLive = true;
    mouse.tickPending.Add(10, 4);
    MouseAudit audit;
    RigidTransform correction;
    PreviewRecord record;
    const bool applied =
        ApplyLookPreview(look, mouse, camera, audit, test::Interpolated(1, 0.5), 2, correction, record);
    EXPECT_EQ(applied, c.applied);
    EXPECT_EQ(record.rotationApplied, c.applied);
    EXPECT_EQ(audit.previewApplied.load(), c.applied ? 1u : 0u);
    EXPECT_NEAR(v.Get(40), c.pitch, 1e-6f);
    EXPECT_NEAR(v.Get(44), c.yaw, 1e-6f);
    ASSERT_TRUE(camera.RestoreCamera());
  }
}

TEST(Look, PoseMatricesAreRigidAndTurnAboutTheirOwnPosition) {
  const CameraPose pose{1.0f, 2.0f, 3.0f, 0.3f, -1.2f, 0.1f};
  const RigidTransform m = PoseToMatrix(pose);
  EXPECT_TRUE(IsValidRigidTransform(m));
  EXPECT_EQ(m.m[3], 1.0f);
  EXPECT_EQ(m.m[7], 2.0f);
  EXPECT_EQ(m.m[11], 3.0f);
  // Yaw alone turns the forward axis (column 2) in the x-z plane.
  const RigidTransform yawOnly = PoseToMatrix(CameraPose{0, 0, 0, 0, 0.5f, 0});
  EXPECT_NEAR(yawOnly.m[2], std::sin(0.5f), 1e-6f);
  EXPECT_NEAR(yawOnly.m[10], std::cos(0.5f), 1e-6f);
  EXPECT_NEAR(yawOnly.m[6], 0.0f, 1e-6f);
}

}  // namespace
}  // namespace driftglass
