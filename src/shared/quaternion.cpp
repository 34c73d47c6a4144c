#include "shared/quaternion.h"

#include <cmath>
#include <limits>

namespace driftglass {
namespace {

constexpr float kLinearBlendDot = 0.9995f;

bool IsFinite(const Quaternion& q) {
  return std::isfinite(q.w) && std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z);
}

}  // namespace

Quaternion NormalizeQuaternion(const Quaternion& q) {
  const float lengthSquared = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
  if (!(lengthSquared > 0.0f) || !std::isfinite(lengthSquared)) return Quaternion{};
  const float length = std::sqrt(lengthSquared);
  return Quaternion{q.w / length, q.x / length, q.y / length, q.z / length};
}

float DotQuaternions(const Quaternion& a, const Quaternion& b) {
  return a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
}

Quaternion MultiplyQuaternions(const Quaternion& a, const Quaternion& b) {
  return Quaternion{
      a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
      a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
      a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
      a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
  };
}

Quaternion QuaternionFromMatrix(const float (&m)[16]) {
  const float m00 = m[0], m01 = m[1], m02 = m[2];
  const float m10 = m[4], m11 = m[5], m12 = m[6];
  const float m20 = m[8], m21 = m[9], m22 = m[10];
  const float trace = m00 + m11 + m22;
  Quaternion q;
  // Divide by the largest of the four candidates to keep the square root well away from zero.
  if (trace > 0.0f) {
    const float s = 2.0f * std::sqrt(trace + 1.0f);
    q = Quaternion{s / 4.0f, (m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s};
  } else if (m00 > m11 && m00 > m22) {
    const float s = 2.0f * std::sqrt(1.0f + m00 - m11 - m22);
    q = Quaternion{(m21 - m12) / s, s / 4.0f, (m01 + m10) / s, (m02 + m20) / s};
  } else if (m11 > m22) {
    const float s = 2.0f * std::sqrt(1.0f + m11 - m00 - m22);
    q = Quaternion{(m02 - m20) / s, (m01 + m10) / s, s / 4.0f, (m12 + m21) / s};
  } else {
    const float s = 2.0f * std::sqrt(1.0f + m22 - m00 - m11);
    q = Quaternion{(m10 - m01) / s, (m02 + m20) / s, (m12 + m21) / s, s / 4.0f};
  }
  return NormalizeQuaternion(q);
}

void QuaternionToMatrix(const Quaternion& rotation, float (&m)[16]) {
  const Quaternion q = NormalizeQuaternion(rotation);
  const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  m[0] = 1.0f - 2.0f * (yy + zz);
  m[1] = 2.0f * (xy - wz);
  m[2] = 2.0f * (xz + wy);
  m[4] = 2.0f * (xy + wz);
  m[5] = 1.0f - 2.0f * (xx + zz);
  m[6] = 2.0f * (yz - wx);
  m[8] = 2.0f * (xz - wy);
  m[9] = 2.0f * (yz + wx);
  m[10] = 1.0f - 2.0f * (xx + yy);
}

Quaternion SlerpQuaternions(const Quaternion& a, const Quaternion& b, float t) {
  return SlerpAlong(PrepareSlerp(a, b), t);
}

SlerpArc PrepareSlerp(const Quaternion& a, const Quaternion& b) {
  SlerpArc arc;
  arc.from = a;
  arc.to = b;
  float d = DotQuaternions(a, b);
  // q and −q are the same rotation; pick the one that gives the short arc.
  if (d < 0.0f) {
    arc.to = Quaternion{-b.w, -b.x, -b.y, -b.z};
    d = -d;
  }
  if (d > 1.0f) d = 1.0f;
  if (d < -1.0f) d = -1.0f;
  arc.linear = d > kLinearBlendDot;
  if (!arc.linear) {
    arc.theta = std::acos(d);
    arc.sinTheta = std::sin(arc.theta);
  }
  return arc;
}

Quaternion SlerpAlong(const SlerpArc& arc, float t) {
  const Quaternion& a = arc.from;
  const Quaternion& to = arc.to;
  Quaternion q;
  if (arc.linear) {
    q = Quaternion{a.w + (to.w - a.w) * t, a.x + (to.x - a.x) * t, a.y + (to.y - a.y) * t,
                   a.z + (to.z - a.z) * t};
  } else {
    const float weightA = std::sin((1.0f - t) * arc.theta) / arc.sinTheta;
    const float weightB = std::sin(t * arc.theta) / arc.sinTheta;
    q = Quaternion{a.w * weightA + to.w * weightB, a.x * weightA + to.x * weightB,
                   a.y * weightA + to.y * weightB, a.z * weightA + to.z * weightB};
  }
  return NormalizeQuaternion(q);
}

float AngleBetweenQuaternions(const Quaternion& a, const Quaternion& b) {
  const float d = QuaternionAlignment(a, b);
  if (std::isnan(d)) return d;
  return 2.0f * std::acos(d < 1.0f ? d : 1.0f);
}

float QuaternionAlignment(const Quaternion& a, const Quaternion& b) {
  if (!IsFinite(a) || !IsFinite(b)) return std::numeric_limits<float>::quiet_NaN();
  return std::fabs(DotQuaternions(a, b));
}

}  // namespace driftglass
