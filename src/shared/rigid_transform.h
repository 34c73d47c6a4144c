#pragma once

#include "shared/quaternion.h"

namespace driftglass {

// A host 4×4 matrix, row-major (element (r, c) at 4·r + c): rotation in the upper-left 3×3,
// translation in elements 3, 7 and 11, bottom row 0, 0, 0, 1.
struct RigidTransform {
  float m[16];
};

RigidTransform IdentityTransform();

// Finite, bottom row 0, 0, 0, 1, orthonormal rows and determinant 1, all within the float
// tolerances 0.002 (0.004 for the determinant).
bool IsValidRigidTransform(const RigidTransform& transform);

// out = a·b over all four rows; fails if any element of the product is not finite.
// out is written only on success and may alias a or b.
bool MultiplyTransforms(const RigidTransform& a, const RigidTransform& b, RigidTransform& out);

// Transposed rotation and −Rᵀ·t; input and result must both be valid. out written only on success.
bool InvertRigidTransform(const RigidTransform& transform, RigidTransform& out);
// The same for a transform already known valid (read through a check): only the result is tested.
bool InvertValidRigidTransform(const RigidTransform& transform, RigidTransform& out);

// Short-arc rotation blend and linear translation blend at fraction in [0, 1] (used as a float).
// Both inputs and the result must be valid; out written only on success.
bool BlendRigidTransforms(const RigidTransform& a, const RigidTransform& b, double fraction,
                          RigidTransform& out);

// Two valid transforms with all of their blend that does not depend on the fraction worked out:
// a history prepares it when a tick is captured, and each frame between that tick and the next
// only takes its point on the arc. BlendPreparedTransforms gives exactly BlendRigidTransforms'
// result for the same two transforms.
struct PreparedRigidBlend {
  SlerpArc rotation;
  float translation[3] = {};
  float translationDelta[3] = {};
  // The same rotation at both ticks: every frame's rotation rows are these, and so is their part
  // of the rigidity test.
  bool fixedRotation = false;
  bool fixedRotationValid = false;
  RigidTransform fixed = {};  // the rotation rows, translation zero
};
// False, and out untouched, unless both are valid.
bool PrepareRigidBlend(const RigidTransform& a, const RigidTransform& b, PreparedRigidBlend& out);
// The same for two transforms known to be valid, with their rotations already worked out
// (QuaternionFromMatrix of each).
void PrepareValidRigidBlend(const RigidTransform& a, const Quaternion& rotationA,
                            const RigidTransform& b, const Quaternion& rotationB,
                            PreparedRigidBlend& out);
bool BlendPreparedTransforms(const PreparedRigidBlend& blend, double fraction, RigidTransform& out);

// Angle in radians of the rotation taking a's orientation to b's; NaN if either 3×3 is not finite.
float RotationAngleBetween(const RigidTransform& a, const RigidTransform& b);

// All sixteen elements within 1e-5.
bool SameRigidTransform(const RigidTransform& a, const RigidTransform& b);

// More than 5 units of translation or 2π/3 of rotation per tick over tickDelta ticks.
bool IsRigidTransformJump(const RigidTransform& previous, const RigidTransform& next,
                          float tickDelta);
// The same for two finite transforms whose rotations are already worked out.
bool IsRigidTransformJump(const RigidTransform& previous, const Quaternion& previousRotation,
                          const RigidTransform& next, const Quaternion& nextRotation,
                          float tickDelta);

}  // namespace driftglass
