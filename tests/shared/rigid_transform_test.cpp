#include "shared/rigid_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shared/quaternion.h"

namespace driftglass {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;

// Rotation by angle about the unit axis (ax, ay, az), then translation (tx, ty, tz).
RigidTransform Rotation(double angle, double ax, double ay, double az, float tx = 0.0f,
                        float ty = 0.0f, float tz = 0.0f) {
  const double c = std::cos(angle), s = std::sin(angle), k = 1.0 - c;
  RigidTransform t = IdentityTransform();
  t.m[0] = static_cast<float>(c + ax * ax * k);
  t.m[1] = static_cast<float>(ax * ay * k - az * s);
  t.m[2] = static_cast<float>(ax * az * k + ay * s);
  t.m[4] = static_cast<float>(ay * ax * k + az * s);
  t.m[5] = static_cast<float>(c + ay * ay * k);
  t.m[6] = static_cast<float>(ay * az * k - ax * s);
  t.m[8] = static_cast<float>(az * ax * k - ay * s);
  t.m[9] = static_cast<float>(az * ay * k + ax * s);
  t.m[10] = static_cast<float>(c + az * az * k);
  t.m[3] = tx;
  t.m[7] = ty;
  t.m[11] = tz;
  return t;
}

void ExpectNear(const RigidTransform& actual, const RigidTransform& expected, float tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

RigidTransform Filled(float value) {
  RigidTransform t;
  for (float& element : t.m) element = value;
  return t;
}

TEST(RigidTransform, ValidityFollowsTheTolerances) {
  EXPECT_TRUE(IsValidRigidTransform(IdentityTransform()));
  EXPECT_TRUE(IsValidRigidTransform(Rotation(1.3, 0.6, 0.0, 0.8, 100.0f, -2.0f, 7.5f)));

  RigidTransform noisy = Rotation(0.4, 0.0, 1.0, 0.0);
  noisy.m[1] += 0.001f;
  EXPECT_TRUE(IsValidRigidTransform(noisy));

  RigidTransform scaled = IdentityTransform();
  scaled.m[0] = scaled.m[5] = scaled.m[10] = 1.01f;  // row lengths squared 1.0201
  EXPECT_FALSE(IsValidRigidTransform(scaled));

  RigidTransform bottom = IdentityTransform();
  bottom.m[14] = 0.003f;
  EXPECT_FALSE(IsValidRigidTransform(bottom));
  bottom.m[14] = 0.0019f;
  EXPECT_TRUE(IsValidRigidTransform(bottom));
  bottom.m[15] = 1.003f;
  EXPECT_FALSE(IsValidRigidTransform(bottom));

  RigidTransform sheared = IdentityTransform();
  sheared.m[1] = 0.04f;  // rows no longer perpendicular (and slightly long)
  sheared.m[0] = std::sqrt(1.0f - 0.04f * 0.04f);
  EXPECT_FALSE(IsValidRigidTransform(sheared));

  RigidTransform mirrored = IdentityTransform();
  mirrored.m[10] = -1.0f;  // orthonormal rows, determinant −1
  EXPECT_FALSE(IsValidRigidTransform(mirrored));
}

TEST(RigidTransform, NonFiniteOrOverflowingMatricesAreNeverValid) {
  for (const int index : {0, 3, 6, 12, 15}) {
    for (const float bad : {kNaN, std::numeric_limits<float>::infinity()}) {
      RigidTransform t = IdentityTransform();
      t.m[index] = bad;
      EXPECT_FALSE(IsValidRigidTransform(t)) << "index " << index;
    }
  }
  // Finite elements whose squares overflow must not slip through as NaN or infinity.
  RigidTransform huge = IdentityTransform();
  huge.m[0] = 3e38f;
  EXPECT_FALSE(IsValidRigidTransform(huge));
}

TEST(RigidTransform, ProductComposesRotationsAndTranslations) {
  const RigidTransform a = Rotation(kPi / 2, 0.0, 0.0, 1.0, 1.0f, 2.0f, 3.0f);
  const RigidTransform b = Rotation(0.0, 0.0, 0.0, 1.0, 4.0f, 0.0f, 0.0f);
  RigidTransform out;
  ASSERT_TRUE(MultiplyTransforms(a, b, out));
  // b's translation (4, 0, 0) is turned a quarter about z and then moved by a's translation.
  ExpectNear(out, Rotation(kPi / 2, 0.0, 0.0, 1.0, 1.0f, 6.0f, 3.0f), 1e-5f);

  // Writing over an input must still use the original values.
  RigidTransform aliased = a;
  ASSERT_TRUE(MultiplyTransforms(aliased, aliased, aliased));
  RigidTransform twice;
  ASSERT_TRUE(MultiplyTransforms(a, a, twice));
  ExpectNear(aliased, twice, 0.0f);
}

TEST(RigidTransform, ProductFailsOnNonFiniteResultAndLeavesOutputAlone) {
  RigidTransform out = Filled(7.0f);
  EXPECT_FALSE(MultiplyTransforms(Filled(3e38f), Filled(3e38f), out));
  RigidTransform withNaN = IdentityTransform();
  withNaN.m[5] = kNaN;
  EXPECT_FALSE(MultiplyTransforms(IdentityTransform(), withNaN, out));
  ExpectNear(out, Filled(7.0f), 0.0f);
}

TEST(RigidTransform, InverseUndoesTheTransform) {
  const RigidTransform t = Rotation(2.2, 0.48, 0.6, 0.64, -30.0f, 12.5f, 400.0f);
  RigidTransform inverse;
  ASSERT_TRUE(InvertRigidTransform(t, inverse));
  EXPECT_TRUE(IsValidRigidTransform(inverse));
  RigidTransform product;
  ASSERT_TRUE(MultiplyTransforms(inverse, t, product));
  ExpectNear(product, IdentityTransform(), 2e-3f);
  ASSERT_TRUE(MultiplyTransforms(t, inverse, product));
  ExpectNear(product, IdentityTransform(), 2e-3f);

  RigidTransform scaled = IdentityTransform();
  scaled.m[0] = 2.0f;
  RigidTransform out = Filled(7.0f);
  EXPECT_FALSE(InvertRigidTransform(scaled, out));
  ExpectNear(out, Filled(7.0f), 0.0f);
}

TEST(RigidTransform, BlendEndpointsReturnTheInputs) {
  const RigidTransform a = Rotation(0.3, 0.0, 1.0, 0.0, 1.0f, 2.0f, 3.0f);
  const RigidTransform b = Rotation(1.9, 0.6, 0.0, 0.8, -4.0f, 8.0f, 16.0f);
  RigidTransform out;
  ASSERT_TRUE(BlendRigidTransforms(a, b, 0.0, out));
  ExpectNear(out, a, 1e-5f);
  ASSERT_TRUE(BlendRigidTransforms(a, b, 1.0, out));
  ExpectNear(out, b, 1e-5f);
}

TEST(RigidTransform, BlendTurnsAtConstantRateAlongTheShortArc) {
  const RigidTransform a = Rotation(0.0, 0.0, 0.0, 1.0, 0.0f, 0.0f, 0.0f);
  const RigidTransform b = Rotation(kPi / 2, 0.0, 0.0, 1.0, 10.0f, -10.0f, 2.0f);
  RigidTransform out;
  ASSERT_TRUE(BlendRigidTransforms(a, b, 0.25, out));
  ExpectNear(out, Rotation(kPi / 8, 0.0, 0.0, 1.0, 2.5f, -2.5f, 0.5f), 1e-5f);

  // 170° and −170° about z are 20° apart through 180°, not 340° apart through 0°.
  const RigidTransform left = Rotation(170.0 * kPi / 180.0, 0.0, 0.0, 1.0);
  const RigidTransform right = Rotation(-170.0 * kPi / 180.0, 0.0, 0.0, 1.0);
  ASSERT_TRUE(BlendRigidTransforms(left, right, 0.5, out));
  ExpectNear(out, Rotation(kPi, 0.0, 0.0, 1.0), 1e-5f);
}

TEST(RigidTransform, OppositeHemisphereQuaternionsTakeTheShortArc) {
  const Quaternion a{1.0f, 0.0f, 0.0f, 0.0f};
  // −(rotation of 20° about x): the same rotation, with a negative dot product against a.
  const float half = static_cast<float>(10.0 * kPi / 180.0);
  const Quaternion b{-std::cos(half), -std::sin(half), 0.0f, 0.0f};
  const Quaternion q = SlerpQuaternions(a, b, 0.5f);
  const Quaternion expected{std::cos(half / 2), std::sin(half / 2), 0.0f, 0.0f};
  EXPECT_NEAR(q.w, expected.w, 1e-6f);
  EXPECT_NEAR(q.x, expected.x, 1e-6f);
  EXPECT_EQ(q.y, 0.0f);
  EXPECT_EQ(q.z, 0.0f);
}

// Turns below 120° keep the trace positive; beyond it the largest diagonal element (the axis
// nearest x, y or z) decides how the quaternion is extracted, so each axis gets large turns.
TEST(Quaternion, MatrixConversionAgreesWithAxisAndAngle) {
  struct Case {
    double degrees, ax, ay, az;
  };
  const Case cases[] = {
      {10, 0.3, -0.5, 0.8},  {60, -0.7, 0.2, 0.4},   {100, 0.1, 0.9, -0.3},
      {130, 1.0, 0.15, -0.1}, {160, -1.0, 0.2, 0.1},  {180, 1.0, -0.1, 0.05},
      {130, 0.1, 1.0, 0.2},   {160, -0.15, -1.0, 0.1}, {180, 0.05, 1.0, -0.1},
      {130, -0.2, 0.1, 1.0},  {160, 0.1, 0.15, -1.0},  {180, -0.1, 0.05, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.degrees << "° about " << c.ax << ", " << c.ay << ", "
                                    << c.az);
    const double length = std::sqrt(c.ax * c.ax + c.ay * c.ay + c.az * c.az);
    const double angle = c.degrees * kPi / 180.0;
    const double ax = c.ax / length, ay = c.ay / length, az = c.az / length;
    const RigidTransform matrix = Rotation(angle, ax, ay, az);
    const double s = std::sin(angle / 2);
    const double expected[4] = {std::cos(angle / 2), s * ax, s * ay, s * az};

    const Quaternion q = QuaternionFromMatrix(matrix.m);
    const double actual[4] = {q.w, q.x, q.y, q.z};
    double dot = 0;
    for (int i = 0; i < 4; ++i) dot += actual[i] * expected[i];
    const double sign = dot < 0 ? -1.0 : 1.0;  // q and −q are the same rotation
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(actual[i], sign * expected[i], 1e-5) << "component " << i;
    }
    RigidTransform back = IdentityTransform();
    QuaternionToMatrix(q, back.m);
    ExpectNear(back, matrix, 1e-5f);
  }
}

// Below about 3.6° the arc is blended component-wise; it still turns with the fraction.
TEST(RigidTransform, NearlyEqualRotationsBlendComponentWiseAndStayValid) {
  const struct {
    double degrees, fraction;
  } cases[] = {{0.01, 0.5}, {2.0, 0.25}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.degrees);
    const double step = c.degrees * kPi / 180.0;
    const RigidTransform a = Rotation(1.0, 0.0, 1.0, 0.0);
    const RigidTransform b = Rotation(1.0 + step, 0.0, 1.0, 0.0);
    RigidTransform out;
    ASSERT_TRUE(BlendRigidTransforms(a, b, c.fraction, out));
    EXPECT_TRUE(IsValidRigidTransform(out));
    ExpectNear(out, Rotation(1.0 + step * c.fraction, 0.0, 1.0, 0.0), 1e-5f);
  }
}

TEST(RigidTransform, BlendRefusesBadInputAndLeavesOutputAlone) {
  const RigidTransform a = IdentityTransform();
  const RigidTransform b = Rotation(0.5, 1.0, 0.0, 0.0);
  RigidTransform scaled = IdentityTransform();
  scaled.m[5] = 1.01f;
  RigidTransform out = Filled(7.0f);
  for (const double fraction : {-0.01, 1.01, static_cast<double>(kNaN),
                                std::numeric_limits<double>::infinity()}) {
    EXPECT_FALSE(BlendRigidTransforms(a, b, fraction, out)) << fraction;
  }
  EXPECT_FALSE(BlendRigidTransforms(scaled, b, 0.5, out));
  EXPECT_FALSE(BlendRigidTransforms(a, scaled, 0.5, out));
  ExpectNear(out, Filled(7.0f), 0.0f);
}

TEST(RigidTransform, RotationAngleAndJumpTest) {
  const RigidTransform a = Rotation(0.2, 0.0, 1.0, 0.0, 0.0f, 0.0f, 0.0f);
  EXPECT_NEAR(RotationAngleBetween(a, Rotation(1.2, 0.0, 1.0, 0.0)), 1.0f, 1e-4f);
  // Beyond a half-turn the shorter way round is the angle.
  EXPECT_NEAR(RotationAngleBetween(a, Rotation(0.2 + 1.5 * kPi, 0.0, 1.0, 0.0)), kPi / 2, 1e-4f);

  EXPECT_FALSE(IsRigidTransformJump(a, Rotation(0.2, 0.0, 1.0, 0.0, 4.9f, 0.0f, 0.0f), 1.0f));
  EXPECT_TRUE(IsRigidTransformJump(a, Rotation(0.2, 0.0, 1.0, 0.0, 3.0f, 3.0f, 3.0f), 1.0f));
  EXPECT_FALSE(IsRigidTransformJump(a, Rotation(0.2, 0.0, 1.0, 0.0, 9.0f, 0.0f, 0.0f), 2.0f));
  EXPECT_FALSE(IsRigidTransformJump(a, Rotation(2.2, 0.0, 1.0, 0.0), 1.0f));
  EXPECT_TRUE(IsRigidTransformJump(a, Rotation(2.4, 0.0, 1.0, 0.0), 1.0f));

  RigidTransform broken = a;
  broken.m[5] = kNaN;
  EXPECT_TRUE(std::isnan(RotationAngleBetween(a, broken)));
  EXPECT_TRUE(IsRigidTransformJump(a, broken, 1.0f));
  broken = a;
  broken.m[7] = kNaN;
  EXPECT_TRUE(IsRigidTransformJump(a, broken, 1.0f));
}

TEST(RigidTransform, SameMeansEveryElementWithinTolerance) {
  const RigidTransform a = Rotation(0.7, 1.0, 0.0, 0.0, 3.0f, 4.0f, 5.0f);
  RigidTransform b = a;
  b.m[9] += 0.5e-5f;
  EXPECT_TRUE(SameRigidTransform(a, b));
  b.m[11] += 2e-5f;
  EXPECT_FALSE(SameRigidTransform(a, b));
  b = a;
  b.m[0] = kNaN;
  EXPECT_FALSE(SameRigidTransform(b, b));
}

}  // namespace
}  // namespace driftglass
