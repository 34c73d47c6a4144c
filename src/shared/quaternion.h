#pragma once

namespace driftglass {

// Unit rotation (w, x, y, z); only used inside interpolation.
struct Quaternion {
  float w = 1.0f;
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

// Unit length, or the identity when the squared length is zero or not finite.
Quaternion NormalizeQuaternion(const Quaternion& q);

float DotQuaternions(const Quaternion& a, const Quaternion& b);

// Hamilton product a·b: the rotation b followed by a.
Quaternion MultiplyQuaternions(const Quaternion& a, const Quaternion& b);

// Unit quaternion of the upper-left 3×3 of a row-major 4×4 matrix (element (r, c) at 4·r + c).
Quaternion QuaternionFromMatrix(const float (&m)[16]);

// Writes the rotation of the normalised q into the upper-left 3×3 of m; other elements untouched.
void QuaternionToMatrix(const Quaternion& q, float (&m)[16]);

// Short-arc spherical blend at t in [0, 1], falling back to a linear blend for nearly equal
// rotations where sin θ loses precision; the result is normalised.
Quaternion SlerpQuaternions(const Quaternion& a, const Quaternion& b, float t);

// The part of that blend that does not depend on t, so that two ticks' rotations are worked out
// once per tick and every frame between them only takes its point on the arc. SlerpAlong of a
// prepared arc gives exactly SlerpQuaternions' result.
struct SlerpArc {
  Quaternion from;
  Quaternion to;  // b, or −b where that is the short arc
  float theta = 0.0f;
  float sinTheta = 0.0f;
  bool linear = true;
};
SlerpArc PrepareSlerp(const Quaternion& a, const Quaternion& b);
Quaternion SlerpAlong(const SlerpArc& arc, float t);

// 2·acos(min(1, |a·b|)) for unit quaternions; NaN when either is not finite, so that no
// tolerance test can pass on garbage.
float AngleBetweenQuaternions(const Quaternion& a, const Quaternion& b);
// |a·b|, of which that angle is 2·acos: an angle test compares it with a bound and needs no acos.
// NaN when either quaternion is not finite.
float QuaternionAlignment(const Quaternion& a, const Quaternion& b);

}  // namespace driftglass
