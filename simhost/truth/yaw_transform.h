#pragma once
// A rotation about the vertical axis and a translation: every transform the simulated game moves
// between ticks is one, so the game can work out exactly where a blend of two ticks must be.

#include <cmath>
#include <cstring>

struct YawTransform {
  float yaw = 0.0f;
  float t[3] = {};
};

constexpr double kPi = 3.14159265358979323846;

inline float Wrap(double angle) {
  double wrapped = std::fmod(angle + kPi, 2.0 * kPi);
  if (wrapped < 0) wrapped += 2.0 * kPi;
  return static_cast<float>(wrapped - kPi);
}

inline YawTransform Compose(const YawTransform& a, const YawTransform& b) {
  const double c = std::cos(a.yaw), s = std::sin(a.yaw);
  YawTransform out;
  out.yaw = Wrap(static_cast<double>(a.yaw) + b.yaw);
  out.t[0] = static_cast<float>(a.t[0] + c * b.t[0] + s * b.t[2]);
  out.t[1] = a.t[1] + b.t[1];
  out.t[2] = static_cast<float>(a.t[2] - s * b.t[0] + c * b.t[2]);
  return out;
}

inline YawTransform Inverse(const YawTransform& a) {
  YawTransform rotation{-a.yaw, {}};
  const YawTransform back = Compose(rotation, YawTransform{0.0f, {-a.t[0], -a.t[1], -a.t[2]}});
  return back;
}

// The short way round, as a rotation blend takes it.
inline YawTransform Blend(const YawTransform& a, const YawTransform& b, double alpha) {
  YawTransform out;
  out.yaw = Wrap(a.yaw + alpha * Wrap(static_cast<double>(b.yaw) - a.yaw));
  for (int i = 0; i < 3; ++i) out.t[i] = static_cast<float>(a.t[i] + (b.t[i] - a.t[i]) * alpha);
  return out;
}

inline void ToMatrix(const YawTransform& x, float* m) {
  const float c = static_cast<float>(std::cos(x.yaw)), s = static_cast<float>(std::sin(x.yaw));
  const float rows[16] = {c, 0, s, x.t[0], 0, 1, 0, x.t[1], -s, 0, c, x.t[2], 0, 0, 0, 1};
  memcpy(m, rows, sizeof(rows));
}

