#include "camera/camera_interpolator.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "support/fake_camera.h"

namespace driftglass {
namespace {

using test::Interpolated;
using test::View;

CameraInterpolator Fresh() { return test::FreshCamera(); }

// Two ticks captured (x 1 then 2), ready to draw between them.
void TwoTicks(CameraInterpolator& c, View& v) {
  ASSERT_EQ(c.ApplyCamera(v.scene, 0, ClockSample{}), kCameraIdentityChanged);
  v.SetPose(1, 0, 0);
  ASSERT_EQ(c.CaptureCamera(1, 0), kCameraCaptured);
  v.SetPose(2, 0, 0);
  ASSERT_EQ(c.CaptureCamera(2, 0), kCameraCaptured);
}

TEST(CameraInterpolator, DrawsBetweenTicksAndRestoresEveryByte) {
  View v;
  CameraInterpolator c = Fresh();
  EXPECT_EQ(c.CaptureCamera(1, 0), kCameraNoScene);
  TwoTicks(c, v);
  uint8_t before[2133];
  memcpy(before, v.camera, sizeof(before));
  ASSERT_EQ(c.ApplyCamera(v.scene, 2, Interpolated(1, 0.25)), kCameraApplied);
  EXPECT_FLOAT_EQ(v.Get(0), 1.25f);
  EXPECT_EQ(v.camera[2129], 1);
  EXPECT_EQ(v.camera[2131], 1);
  EXPECT_EQ(v.camera[2132], 1);
  CameraPose pose;
  ASSERT_TRUE(c.GetSavedLogicPose(pose));
  EXPECT_EQ(pose.x, 2.0f);
  uint8_t applied[2133];
  memcpy(applied, v.camera, sizeof(applied));
  EXPECT_EQ(c.ApplyCamera(v.scene, 2, Interpolated(1, 0.5)), kCameraApplyFailed) << "nested";
  EXPECT_EQ(memcmp(v.camera, applied, sizeof(applied)), 0) << "a refused apply writes nothing";
  // The renderer rebuilds its caches from the written pose...
  memset(v.camera + 76, 0xAB, 3 * 64);
  memset(v.camera + 852, 0xCD, 1276);
  memset(v.camera + 2128, 0, 5);
  ASSERT_TRUE(c.RestoreCamera());
  EXPECT_EQ(memcmp(v.camera, before, sizeof(before)), 0) << "...and gets its own bytes back";
  EXPECT_FALSE(c.GetSavedLogicPose(pose));
  EXPECT_TRUE(c.RestoreCamera()) << "nothing to restore";
}

TEST(CameraInterpolator, AnUnavailableFrameDoesNotBreakTheHistory) {
  View v;
  CameraInterpolator c = Fresh();
  TwoTicks(c, v);
  // A frame the clock could not interpolate checks the pose against the last completed tick,
  // not against tick 0.
  EXPECT_EQ(c.ApplyCamera(v.scene, 2, ClockSample{}), kCameraClockUnavailable);
  v.SetPose(3, 0, 0.2f);  // the view turns: the third tick's arc is not the second's
  EXPECT_EQ(c.CaptureCamera(3, 0), kCameraCaptured);
  EXPECT_EQ(c.ApplyCamera(v.scene, 3, Interpolated(2, 0.5)), kCameraApplied);
  EXPECT_FLOAT_EQ(v.Get(0), 2.5f);
  EXPECT_NEAR(v.Get(44), 0.1f, 1e-6f);
  EXPECT_TRUE(c.RestoreCamera());
}

TEST(CameraInterpolator, ViewAndCameraProblemsAreReported) {
  View v;
  CameraInterpolator c = Fresh();
  TwoTicks(c, v);
  v.viewport[13] = 2;
  EXPECT_EQ(c.ApplyCamera(v.scene, 2, Interpolated(1, 0.5)), kCameraInvalidViewport);
  v.viewport[13] = 0;
  EXPECT_EQ(c.CaptureCamera(3, 0), kCameraListenerHidden);
  v.viewport[13] = 1;
  EXPECT_EQ(c.CaptureCamera(4, 0), kCameraIdentityChanged) << "history restarted";
  View::Put(v.camera, 68, 1u);
  EXPECT_EQ(c.CaptureCamera(5, 0), kCameraInvalidCamera);
  View::Put(v.camera, 68, 0u);
  View::Put(v.camera, 52, 1500.0f);
  EXPECT_EQ(c.CaptureCamera(6, 0), kCameraInvalidCamera);
  View::Put(v.camera, 52, 0.0f);
  View::Put(v.viewport, 4, static_cast<void*>(nullptr));
  EXPECT_EQ(c.CaptureCamera(7, 0), kCameraListenerMissingCamera);
  View::Put(v.scene, 64, static_cast<void*>(nullptr));
  EXPECT_EQ(c.CaptureCamera(8, 0), kCameraNoCurrentListener);
}

// A camera that cannot be written is left as it was and nothing is in force; a restore that
// cannot write still ends the apply, so later frames are not refused.
TEST(CameraInterpolator, UnwritableCameraLeavesNoApplyInForce) {
  View v;
  CameraInterpolator c = Fresh();
  TwoTicks(c, v);
  uint8_t before[2133];
  memcpy(before, v.camera, sizeof(before));
  v.Protect(PAGE_READONLY);
  EXPECT_EQ(c.ApplyCamera(v.scene, 2, Interpolated(1, 0.25)), kCameraApplyFailed);
  EXPECT_EQ(memcmp(v.camera, before, sizeof(before)), 0);
  EXPECT_FALSE(c.applied());
  CameraPose pose;
  EXPECT_FALSE(c.GetSavedLogicPose(pose));
  EXPECT_TRUE(c.RestoreCamera()) << "nothing to restore";

  v.Protect(PAGE_READWRITE);
  ASSERT_EQ(c.ApplyCamera(v.scene, 2, Interpolated(1, 0.25)), kCameraApplied);
  v.Protect(PAGE_READONLY);
  EXPECT_FALSE(c.RestoreCamera());
  EXPECT_FALSE(c.applied());
  EXPECT_FALSE(c.ReadAppliedCameraPose(pose));
  v.Protect(PAGE_READWRITE);
  v.SetPose(3, 0, 0);  // the engine's next tick
  EXPECT_EQ(c.CaptureCamera(3, 0), kCameraCaptured);
  EXPECT_EQ(c.ApplyCamera(v.scene, 3, Interpolated(2, 0.5)), kCameraApplied);
  EXPECT_FLOAT_EQ(v.Get(0), 2.5f);
  EXPECT_TRUE(c.RestoreCamera());
}

// A camera that reads as invalid empties the history, so nothing is blended across it: at a
// tick the view is forgotten altogether, at a render the history restarts from that frame.
TEST(CameraInterpolator, InvalidCameraRestartsTheHistory) {
  struct Corruption {
    size_t offset;
    uint32_t bits;
  };
  const Corruption corruptions[] = {{68, 1u}, {52, std::bit_cast<uint32_t>(1500.0f)}};
  for (const Corruption& bad : corruptions) {
    SCOPED_TRACE(bad.offset);
    View v;
    CameraInterpolator c = Fresh();
    TwoTicks(c, v);
    uint32_t good;
    memcpy(&good, v.camera + bad.offset, 4);

    View::Put(v.camera, bad.offset, bad.bits);
    EXPECT_EQ(c.CaptureCamera(3, 0), kCameraInvalidCamera);
    View::Put(v.camera, bad.offset, good);
    EXPECT_EQ(c.ApplyCamera(v.scene, 3, Interpolated(2, 0.5)), kCameraIdentityChanged);
    v.SetPose(3, 0, 0);
    EXPECT_EQ(c.CaptureCamera(4, 0), kCameraCaptured);
    EXPECT_EQ(c.ApplyCamera(v.scene, 4, Interpolated(3, 0.5)), kCameraApplied);
    EXPECT_TRUE(c.RestoreCamera());

    View::Put(v.camera, bad.offset, bad.bits);
    uint8_t before[2133];
    memcpy(before, v.camera, sizeof(before));
    EXPECT_EQ(c.ApplyCamera(v.scene, 4, Interpolated(3, 0.5)), kCameraInvalidCamera);
    EXPECT_EQ(memcmp(v.camera, before, sizeof(before)), 0);
    View::Put(v.camera, bad.offset, good);
    EXPECT_EQ(c.ApplyCamera(v.scene, 4, Interpolated(3, 0.5)), kCameraClockGenerationReset);
    v.SetPose(4, 0, 0);
    EXPECT_EQ(c.CaptureCamera(5, 0), kCameraCaptured);
    EXPECT_EQ(c.ApplyCamera(v.scene, 5, Interpolated(4, 0.5)), kCameraApplied);
    EXPECT_TRUE(c.RestoreCamera());
  }
}

TEST(CameraInterpolator, HistoryResultsMapToCameraResults) {
  View v;
  CameraInterpolator c = Fresh();
  TwoTicks(c, v);
  v.SetPose(2.5f, 0, 0);  // moved after the tick, before the render
  EXPECT_EQ(c.ApplyCamera(v.scene, 2, Interpolated(1, 0.5)), kCameraSameTickMutation);
  v.SetPose(9, 0, 0);  // 6.5 units in one tick
  EXPECT_EQ(c.CaptureCamera(3, 0), kCameraDiscontinuityReset);
  v.SetPose(9.1f, 0, 0);
  EXPECT_EQ(c.CaptureCamera(4, 1), kCameraClockGenerationReset);
  EXPECT_EQ(c.ApplyCamera(v.scene, 4, Interpolated(3, 0.5, 1)), kCameraSnapshotsMissing);
  v.SetPose(9.2f, 0, 0);
  EXPECT_EQ(c.CaptureCamera(5, 1), kCameraCaptured);
  // A frame of a newer clock generation restarts the history before pairing.
  EXPECT_EQ(c.ApplyCamera(v.scene, 5, Interpolated(4, 0.5, 2)), kCameraClockGenerationReset);
}

TEST(CameraInterpolator, LookOffsetTurnsThroughTheEngineSetters) {
  View v;
  CameraInterpolator c = Fresh();
  EXPECT_FALSE(c.ApplyLookOffset(0.1f, 0.1f, nullptr, nullptr)) << "not applied";
  c.ApplyCamera(v.scene, 0, ClockSample{});
  v.SetPose(0, 0, 3.1f);
  c.CaptureCamera(1, 0);
  c.CaptureCamera(2, 0);
  ASSERT_EQ(c.ApplyCamera(v.scene, 2, Interpolated(1, 0.5)), kCameraApplied);
  CameraPose before, after;
  ASSERT_TRUE(c.ApplyLookOffset(0.2f, 0.1f, &before, &after));
  EXPECT_FLOAT_EQ(after.pitch, before.pitch + 0.2f);
  EXPECT_FLOAT_EQ(after.yaw, 3.2f) << "no yaw limits: no wrapping";
  EXPECT_TRUE(c.RestoreCamera());
  EXPECT_EQ(v.Get(44), 3.1f);

  // The blend's yaw is in the principal range while the engine's yaw ran past pi. With yaw
  // limits the turned yaw goes back to the branch nearest the logic yaw; without, it stays.
  for (const bool limited : {false, true}) {
    View::Put(v.camera, 60, limited ? -1.0f : 0.0f);
    View::Put(v.camera, 64, limited ? 1.0f : 0.0f);
    v.SetPose(0, 0, 3.3f);
    c.CaptureCamera(limited ? 12 : 10, 0);
    c.CaptureCamera(limited ? 13 : 11, 0);
    ASSERT_EQ(c.ApplyCamera(v.scene, limited ? 13 : 11, Interpolated(limited ? 12 : 10, 0.5)), kCameraApplied);
    ASSERT_TRUE(c.ApplyLookOffset(0.0f, 0.1f, &before, &after));
    EXPECT_NEAR(before.yaw, 3.3f - 6.2831855f, 1e-4);
    EXPECT_NEAR(after.yaw, limited ? 3.4f : 3.4f - 6.2831855f, 1e-4);
    EXPECT_TRUE(c.RestoreCamera());
  }
}

}  // namespace
}  // namespace driftglass
