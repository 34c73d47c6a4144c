#include "shared/rigid_transform.h"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "shared/quaternion.h"
#include "shared/snapshot_limits.h"

namespace driftglass {
namespace {

constexpr float kRigidTolerance = 0.002f;        // bits 0x3B03126F
constexpr float kDeterminantTolerance = 0.004f;  // bits 0x3B83126F

float RowDot(const RigidTransform& t, int a, int b) {
  return t.m[4 * a] * t.m[4 * b] + t.m[4 * a + 1] * t.m[4 * b + 1] +
         t.m[4 * a + 2] * t.m[4 * b + 2];
}

float Determinant3x3(const float (&m)[16]) {
  return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
         m[2] * (m[4] * m[9] - m[5] * m[8]);
}

bool AllFinite(const RigidTransform& t) {
  for (const float value : t.m) {
    if (!std::isfinite(value)) return false;
  }
  return true;
}

}  // namespace

RigidTransform IdentityTransform() {
  RigidTransform t = {};
  t.m[0] = t.m[5] = t.m[10] = t.m[15] = 1.0f;
  return t;
}

bool IsValidRigidTransform(const RigidTransform& t) {
  if (!AllFinite(t)) return false;
  if (!WithinTolerance(t.m[12], 0.0f, kRigidTolerance) ||
      !WithinTolerance(t.m[13], 0.0f, kRigidTolerance) ||
      !WithinTolerance(t.m[14], 0.0f, kRigidTolerance) ||
      !WithinTolerance(t.m[15], 1.0f, kRigidTolerance)) {
    return false;
  }
  for (int row = 0; row < 3; ++row) {
    if (!WithinTolerance(RowDot(t, row, row), 1.0f, kRigidTolerance)) return false;
  }
  if (!WithinTolerance(RowDot(t, 0, 1), 0.0f, kRigidTolerance) ||
      !WithinTolerance(RowDot(t, 0, 2), 0.0f, kRigidTolerance) ||
      !WithinTolerance(RowDot(t, 1, 2), 0.0f, kRigidTolerance)) {
    return false;
  }
  // Orthonormal rows alone also admit mirror images (determinant −1).
  return WithinTolerance(Determinant3x3(t.m), 1.0f, kDeterminantTolerance);
}

bool MultiplyTransforms(const RigidTransform& a, const RigidTransform& b, RigidTransform& out) {
  RigidTransform product;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      product.m[4 * r + c] = a.m[4 * r] * b.m[c] + a.m[4 * r + 1] * b.m[4 + c] +
                             a.m[4 * r + 2] * b.m[8 + c] + a.m[4 * r + 3] * b.m[12 + c];
    }
  }
  if (!AllFinite(product)) return false;
  out = product;
  return true;
}

bool InvertRigidTransform(const RigidTransform& t, RigidTransform& out) {
  return IsValidRigidTransform(t) && InvertValidRigidTransform(t, out);
}

bool InvertValidRigidTransform(const RigidTransform& t, RigidTransform& out) {
  RigidTransform inverse = IdentityTransform();
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) inverse.m[4 * r + c] = t.m[4 * c + r];
  }
  const float tx = t.m[3], ty = t.m[7], tz = t.m[11];
  for (int r = 0; r < 3; ++r) {
    inverse.m[4 * r + 3] =
        -(inverse.m[4 * r] * tx + inverse.m[4 * r + 1] * ty + inverse.m[4 * r + 2] * tz);
  }
  if (!IsValidRigidTransform(inverse)) return false;
  out = inverse;
  return true;
}

bool BlendRigidTransforms(const RigidTransform& a, const RigidTransform& b, double fraction,
                          RigidTransform& out) {
  PreparedRigidBlend blend;
  return PrepareRigidBlend(a, b, blend) && BlendPreparedTransforms(blend, fraction, out);
}

bool PrepareRigidBlend(const RigidTransform& a, const RigidTransform& b, PreparedRigidBlend& out) {
  if (!IsValidRigidTransform(a) || !IsValidRigidTransform(b)) return false;
  PrepareValidRigidBlend(a, QuaternionFromMatrix(a.m), b, QuaternionFromMatrix(b.m), out);
  return true;
}

void PrepareValidRigidBlend(const RigidTransform& a, const Quaternion& rotationA,
                            const RigidTransform& b, const Quaternion& rotationB,
                            PreparedRigidBlend& out) {
  out.rotation = PrepareSlerp(rotationA, rotationB);
  for (int axis = 0; axis < 3; ++axis) {
    const int i = 4 * axis + 3;
    out.translation[axis] = a.m[i];
    out.translationDelta[axis] = b.m[i] - a.m[i];
  }
  const Quaternion& from = out.rotation.from;
  const Quaternion& to = out.rotation.to;
  // A linear blend between equal ends gives the same bits at every fraction.
  out.fixedRotation = out.rotation.linear && from.w == to.w && from.x == to.x && from.y == to.y &&
                      from.z == to.z;
  if (out.fixedRotation) {
    out.fixed = IdentityTransform();
    QuaternionToMatrix(SlerpAlong(out.rotation, 0.5f), out.fixed.m);
    out.fixedRotationValid = IsValidRigidTransform(out.fixed);
  }
}

bool BlendPreparedTransforms(const PreparedRigidBlend& blend, double fraction,
                             RigidTransform& out) {
  if (!std::isfinite(fraction) || fraction < 0.0 || fraction > 1.0) return false;
  const float t = static_cast<float>(fraction);

  RigidTransform blended;
  if (blend.fixedRotation) {
    blended = blend.fixed;
  } else {
    blended = IdentityTransform();
    QuaternionToMatrix(SlerpAlong(blend.rotation, t), blended.m);
  }
  for (int axis = 0; axis < 3; ++axis) {
    blended.m[4 * axis + 3] = blend.translation[axis] + blend.translationDelta[axis] * t;
  }

  // With a fixed rotation only the translation can change what the rigidity test says.
  const bool valid = blend.fixedRotation
                         ? blend.fixedRotationValid && std::isfinite(blended.m[3]) &&
                               std::isfinite(blended.m[7]) && std::isfinite(blended.m[11])
                         : IsValidRigidTransform(blended);
  if (!valid) return false;
  out = blended;
  return true;
}

float RotationAngleBetween(const RigidTransform& a, const RigidTransform& b) {
  for (const int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) {
    // The conversion would quietly turn a non-finite rotation into the identity.
    if (!std::isfinite(a.m[i]) || !std::isfinite(b.m[i])) {
      return std::numeric_limits<float>::quiet_NaN();
    }
  }
  return AngleBetweenQuaternions(QuaternionFromMatrix(a.m), QuaternionFromMatrix(b.m));
}

bool SameRigidTransform(const RigidTransform& a, const RigidTransform& b) {
  for (int i = 0; i < 16; ++i) {
    if (!WithinTolerance(a.m[i], b.m[i], kSnapshotMatchTolerance)) return false;
  }
  return true;
}

namespace {

// Written as "not within" so that NaN counts as a jump.
bool TravelsTooFar(const RigidTransform& previous, const RigidTransform& next, float tickDelta) {
  const float dx = next.m[3] - previous.m[3];
  const float dy = next.m[7] - previous.m[7];
  const float dz = next.m[11] - previous.m[11];
  const float distanceLimit = kTeleportDistancePerTick * tickDelta;
  return !(dx * dx + dy * dy + dz * dz <= distanceLimit * distanceLimit);
}

}  // namespace

bool IsRigidTransformJump(const RigidTransform& previous, const RigidTransform& next,
                          float tickDelta) {
  if (TravelsTooFar(previous, next, tickDelta)) return true;
  return !(RotationAngleBetween(previous, next) <= kTeleportAnglePerTick * tickDelta);
}

bool IsRigidTransformJump(const RigidTransform& previous, const Quaternion& previousRotation,
                          const RigidTransform& next, const Quaternion& nextRotation,
                          float tickDelta) {
  if (TravelsTooFar(previous, next, tickDelta)) return true;
  // One tick, as every capture asks: the bound on the alignment spares an acos per body.
  if (tickDelta == 1.0f) {
    const float alignment = QuaternionAlignment(previousRotation, nextRotation);
    return !(alignment >= kTeleportAlignmentPerTick);
  }
  return !(AngleBetweenQuaternions(previousRotation, nextRotation) <=
           kTeleportAnglePerTick * tickDelta);
}

}  // namespace driftglass
