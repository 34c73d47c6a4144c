#include "shared/camera_pose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "shared/quaternion.h"
#include "shared/rigid_transform.h"

namespace driftglass {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kPi = 3.14159265f;

RigidTransform AxisRotation(double angle, int axis) {
  const float c = static_cast<float>(std::cos(angle));
  const float s = static_cast<float>(std::sin(angle));
  RigidTransform t = IdentityTransform();
  const int a = (axis + 1) % 3, b = (axis + 2) % 3;  // the plane the axis turns
  t.m[4 * a + a] = c;
  t.m[4 * a + b] = -s;
  t.m[4 * b + a] = s;
  t.m[4 * b + b] = c;
  return t;
}

// Angle of the rotation between two quaternions, measured robustly near zero.
float Difference(const Quaternion& a, const Quaternion& b) {
  const Quaternion conjugate{a.w, -a.x, -a.y, -a.z};
  const Quaternion d = MultiplyQuaternions(conjugate, b);
  const float vector = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  return 2.0f * std::atan2(vector, std::fabs(d.w));
}

TEST(CameraPose, AnglesComposeYawThenPitchThenRoll) {
  const float pitch = 0.4f, yaw = -1.1f, roll = 0.25f;
  RigidTransform expected;
  ASSERT_TRUE(MultiplyTransforms(AxisRotation(yaw, 1), AxisRotation(pitch, 0), expected));
  ASSERT_TRUE(MultiplyTransforms(expected, AxisRotation(roll, 2), expected));
  RigidTransform actual = IdentityTransform();
  QuaternionToMatrix(AnglesToQuaternion(pitch, yaw, roll), actual.m);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], 1e-6f) << "element " << i;
}

TEST(CameraPose, AnglesSurviveTheRoundTripInPrincipalRanges) {
  const float cases[][3] = {{0.0f, 0.0f, 0.0f},   {0.3f, 1.2f, -0.4f}, {-1.4f, -3.0f, 2.9f},
                            {1.5f, 3.1f, 0.01f},  {-0.7f, -0.2f, -3.1f}};
  for (const auto& c : cases) {
    float pitch, yaw, roll;
    QuaternionToAngles(AnglesToQuaternion(c[0], c[1], c[2]), pitch, yaw, roll);
    EXPECT_NEAR(pitch, c[0], 2e-5f);
    EXPECT_NEAR(yaw, c[1], 2e-5f);
    EXPECT_NEAR(roll, c[2], 2e-5f);
  }
  // An accumulated yaw comes back in (−π, π], as the same orientation.
  float pitch, yaw, roll;
  QuaternionToAngles(AnglesToQuaternion(0.1f, 0.5f + 4 * kPi, 0.0f), pitch, yaw, roll);
  EXPECT_NEAR(yaw, 0.5f, 1e-5f);
}

TEST(CameraPose, LookingStraightUpOrDownGivesZeroRollAndKeepsTheOrientation) {
  for (const float pitch : {kPi / 2, -kPi / 2}) {
    const Quaternion q = AnglesToQuaternion(pitch, 0.8f, 0.3f);
    float outPitch, yaw, roll;
    QuaternionToAngles(q, outPitch, yaw, roll);
    EXPECT_EQ(roll, 0.0f);
    EXPECT_NEAR(outPitch, pitch, 1e-3f);
    EXPECT_LT(Difference(q, AnglesToQuaternion(outPitch, yaw, roll)), 1e-3f);
  }
}

TEST(CameraPose, NearlyVerticalViewsKeepTheirOrientation) {
  // Float rounding in q makes asin's argument wander near ±1; the branch choice must not.
  for (int step = 0; step < 2000; ++step) {
    const float offset = static_cast<float>(step) * 1e-7f;
    for (const float pitch : {kPi / 2 - offset, -kPi / 2 + offset}) {
      const Quaternion q = AnglesToQuaternion(pitch, 0.8f, 0.3f);
      float outPitch, yaw, roll;
      QuaternionToAngles(q, outPitch, yaw, roll);
      ASSERT_LT(Difference(q, AnglesToQuaternion(outPitch, yaw, roll)), 0.02f) << pitch;
    }
  }
}

TEST(CameraPose, DegenerateQuaternionReadsAsIdentity) {
  float pitch = 9.0f, yaw = 9.0f, roll = 9.0f;
  QuaternionToAngles(Quaternion{0.0f, 0.0f, 0.0f, 0.0f}, pitch, yaw, roll);
  EXPECT_EQ(pitch, 0.0f);
  EXPECT_EQ(yaw, 0.0f);
  EXPECT_EQ(roll, 0.0f);
  QuaternionToAngles(Quaternion{kNaN, 0.0f, 1.0f, 0.0f}, pitch, yaw, roll);
  EXPECT_EQ(yaw, 0.0f);
}

TEST(CameraPose, BlendInterpolatesPositionAndOrientation) {
  const CameraPose older{0.0f, 10.0f, -4.0f, 0.1f, 0.2f, 0.0f};
  const CameraPose newer{2.0f, 12.0f, -8.0f, 0.3f, 0.6f, 0.0f};
  CameraPose out;
  ASSERT_TRUE(BlendCameraPoses(older, newer, 0.25, out));
  EXPECT_FLOAT_EQ(out.x, 0.5f);
  EXPECT_FLOAT_EQ(out.y, 10.5f);
  EXPECT_FLOAT_EQ(out.z, -5.0f);
  // On the shortest arc between the two orientations, a quarter of the way along.
  const Quaternion from = AnglesToQuaternion(older.pitch, older.yaw, older.roll);
  const Quaternion to = AnglesToQuaternion(newer.pitch, newer.yaw, newer.roll);
  const Quaternion at = AnglesToQuaternion(out.pitch, out.yaw, out.roll);
  const float total = Difference(from, to);
  EXPECT_NEAR(Difference(from, at), 0.25f * total, 1e-4f);
  EXPECT_NEAR(Difference(at, to), 0.75f * total, 1e-4f);

  for (const double alpha : {0.0, 1.0}) {
    const CameraPose& expected = alpha == 0.0 ? older : newer;
    ASSERT_TRUE(BlendCameraPoses(older, newer, alpha, out));
    EXPECT_FLOAT_EQ(out.x, expected.x);
    EXPECT_NEAR(out.pitch, expected.pitch, 1e-5f);
    EXPECT_NEAR(out.yaw, expected.yaw, 1e-5f);
    EXPECT_NEAR(out.roll, expected.roll, 1e-5f);
  }
}

// A view at rest, looking steeply up, while the camera walks: its angles are the game's own at
// every fraction (the quaternion round trip alone is about 1e-6 rad off there).
TEST(CameraPose, AViewThatDidNotTurnKeepsItsAnglesExactly) {
  CameraPose older{0.0f, 1.5f, 0.0f, 1.46810055f, 1.44869983f, 0.0f};
  CameraPose newer = older;
  newer.x = 0.05f;
  CameraPose out;
  for (const double alpha : {0.0, 0.3, 1.0}) {
    ASSERT_TRUE(BlendCameraPoses(older, newer, alpha, out));
    EXPECT_EQ(out.pitch, older.pitch);
    EXPECT_EQ(out.yaw, older.yaw);
    EXPECT_EQ(out.roll, older.roll);
  }
  EXPECT_FLOAT_EQ(out.x, 0.05f);
  // A yaw past pi comes in the principal range, as from every other blend.
  newer.yaw = older.yaw = 3.3f;
  ASSERT_TRUE(BlendCameraPoses(older, newer, 0.5, out));
  EXPECT_EQ(out.yaw, static_cast<float>(3.3f - 2 * 3.14159265358979));
}

// Views held at the pitch limit (1.5) while the camera rolls: the arc between them, more so with a
// turn, and its round trip leave the pitches the two ticks span unless the blend keeps to them.
TEST(CameraPose, ABlendPitchesNoFurtherThanItsTicks) {
  const struct {
    const char* what;
    CameraPose older, newer;
  } cases[] = {
      {"rolled at the limit", {0, 0, 0, 1.5f, 0.7f, 1.0f}, {0, 0, 0, 1.5f, 0.7f, 1.05f}},
      {"rolled and turned at the limit", {0, 0, 0, 1.5f, 0.7f, 1.0f}, {0, 0, 0, 1.5f, 0.73f, 1.05f}},
      {"rolled and turned at the lower limit", {0, 0, 0, -1.5f, 0.7f, 1.0f},
       {0, 0, 0, -1.5f, 0.67f, 0.95f}},
      {"rolled and turned up to the limit", {0, 0, 0, 1.49f, 0.7f, 1.0f}, {0, 0, 0, 1.5f, 0.73f, 1.05f}},
  };
  for (const auto& c : cases) {
    const float low = std::min(c.older.pitch, c.newer.pitch), high = std::max(c.older.pitch, c.newer.pitch);
    int beyond = 0;
    for (int step = 0; step <= 64; ++step) {
      CameraPose out;
      ASSERT_TRUE(BlendCameraPoses(c.older, c.newer, step / 64.0, out)) << c.what;
      beyond += out.pitch < low || out.pitch > high;
    }
    EXPECT_EQ(beyond, 0) << c.what;
  }
}

TEST(CameraPose, SmallTurnAcrossHalfCircleGoesTheShortWay) {
  const CameraPose older{0.0f, 0.0f, 0.0f, 0.0f, 3.1f, 0.0f};
  const CameraPose newer{0.0f, 0.0f, 0.0f, 0.0f, -3.1f, 0.0f};
  CameraPose out;
  ASSERT_TRUE(BlendCameraPoses(older, newer, 0.5, out));
  EXPECT_NEAR(std::fabs(out.yaw), kPi, 1e-4f);
  ASSERT_TRUE(BlendCameraPoses(older, newer, 0.25, out));
  EXPECT_NEAR(out.yaw, 3.1f + 0.25f * (2 * kPi - 6.2f), 1e-4f);
}

TEST(CameraPose, BlendRefusesNonFiniteInputAndLeavesOutputAlone) {
  const CameraPose good{1.0f, 2.0f, 3.0f, 0.1f, 0.2f, 0.3f};
  CameraPose bad = good;
  bad.roll = kNaN;
  const CameraPose sentinel{7.0f, 7.0f, 7.0f, 7.0f, 7.0f, 7.0f};
  CameraPose out = sentinel;
  EXPECT_FALSE(BlendCameraPoses(good, bad, 0.5, out));
  EXPECT_FALSE(BlendCameraPoses(bad, good, 0.5, out));
  for (const double alpha : {-0.001, 1.001, static_cast<double>(kNaN)}) {
    EXPECT_FALSE(BlendCameraPoses(good, good, alpha, out)) << alpha;
  }
  // Finite ends whose difference overflows.
  const CameraPose far{3e38f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  const CameraPose farBack{-3e38f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_FALSE(BlendCameraPoses(far, farBack, 0.5, out));
  EXPECT_EQ(out.x, sentinel.x);
  EXPECT_EQ(out.roll, sentinel.roll);
}

TEST(CameraPose, JumpTestMeasuresTravelAndTurnPerTick) {
  const CameraPose start{0.0f, 0.0f, 0.0f, 0.0f, 3.1f, 0.0f};
  CameraPose next = start;
  next.x = 4.9f;
  EXPECT_FALSE(IsCameraPoseJump(start, next, 1.0f));
  next.x = 5.1f;
  EXPECT_TRUE(IsCameraPoseJump(start, next, 1.0f));
  EXPECT_FALSE(IsCameraPoseJump(start, next, 2.0f));

  next = start;
  next.yaw = -3.1f;  // 0.08 rad across ±π
  EXPECT_FALSE(IsCameraPoseJump(start, next, 1.0f));
  next.yaw = 3.1f + 4 * kPi;  // an accumulated yaw, same orientation
  EXPECT_FALSE(IsCameraPoseJump(start, next, 1.0f));
  next.yaw = 3.1f + 2.2f;
  EXPECT_TRUE(IsCameraPoseJump(start, next, 1.0f));
  next.yaw = 3.1f + 2.0f;
  EXPECT_FALSE(IsCameraPoseJump(start, next, 1.0f));

  next = start;
  next.pitch = kNaN;
  EXPECT_TRUE(IsCameraPoseJump(start, next, 1.0f));
  EXPECT_TRUE(std::isnan(RotationAngleBetween(start, next)));
}

TEST(CameraPose, SameMeansEveryFloatWithinTolerance) {
  const CameraPose a{1.0f, 2.0f, 3.0f, 0.1f, 0.2f, 0.3f};
  CameraPose b = a;
  b.roll += 0.5e-5f;
  EXPECT_TRUE(SameCameraPose(a, b));
  b.z += 2e-5f;
  EXPECT_FALSE(SameCameraPose(a, b));
  b = a;
  b.x = kNaN;
  EXPECT_FALSE(SameCameraPose(b, b));
}

}  // namespace
}  // namespace driftglass
