#include "input/mouse_pattern.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMixedSegmentSeconds = 0.5;
constexpr double kFlickSeconds = 0.030;
constexpr double kRestSeconds = 0.150;  // at least; up to twice as long
constexpr int32_t kJitterReach = 12;    // jitter turns back beyond this offset

int32_t Clamp(int32_t value, int32_t limit) {
  return value < -limit ? -limit : (value > limit ? limit : value);
}

}  // namespace

MousePatternGenerator::MousePatternGenerator(MousePattern pattern, uint32_t seed, double rateHz)
    : pattern_(pattern), rateHz_(rateHz), random_(seed * 2654435761u + 0x9E3779B9u) {
  if (random_ == 0) random_ = 1;
  sweepAmplitude_ = 180.0 + 20.0 * static_cast<double>(seed % 6);
  sweepHz_ = 0.6 + 0.05 * static_cast<double>(seed % 5);
  driftAmplitude_ = 15.0 + 5.0 * static_cast<double>(seed % 4);
  driftHz_ = 0.23 + 0.02 * static_cast<double>(seed % 3);
}

uint32_t MousePatternGenerator::Random() {
  random_ ^= random_ << 13;
  random_ ^= random_ >> 17;
  random_ ^= random_ << 5;
  return random_;
}

MouseStep MousePatternGenerator::Next() {
  const double seconds = static_cast<double>(slot_++) / rateHz_;
  MousePattern pattern = pattern_;
  double local = seconds;
  if (pattern == MousePattern::kMixed) {
    const double segments = std::floor(seconds / kMixedSegmentSeconds);
    local = seconds - segments * kMixedSegmentSeconds;
    static const MousePattern kTurns[] = {MousePattern::kSweep, MousePattern::kFlicks,
                                          MousePattern::kJitter};
    pattern = kTurns[static_cast<uint64_t>(segments) % 3];
    if (pattern != current_) flickSlot_ = restSlots_ = 0;  // each segment starts afresh
  }
  current_ = pattern;
  switch (pattern) {
    case MousePattern::kSweep:
      return Sweep(local);
    case MousePattern::kFlicks:
      return Flick();
    case MousePattern::kJitter:
      return Jitter();
    case MousePattern::kSweepRight:
      return Toward(kSweepRightCountsPerSecond * seconds, 0.0);
    case MousePattern::kPitchUp:
      return Toward(0.0, -kPitchUpCountsPerSecond * seconds);  // screen y grows downwards
    default:
      return MouseStep{};
  }
}

// The hand follows a target no faster than the step limit allows.
MouseStep MousePatternGenerator::Toward(double targetX, double targetY) {
  MouseStep step;
  step.dx = Clamp(static_cast<int32_t>(std::lround(targetX)) - x_, kMaxMouseStep);
  step.dy = Clamp(static_cast<int32_t>(std::lround(targetY)) - y_, kMaxMouseStep);
  x_ += step.dx;
  y_ += step.dy;
  return step;
}

MouseStep MousePatternGenerator::Sweep(double seconds) {
  return Toward(sweepAmplitude_ * std::sin(2.0 * kPi * sweepHz_ * seconds),
                driftAmplitude_ * std::sin(2.0 * kPi * driftHz_ * seconds));
}

MouseStep MousePatternGenerator::Flick() {
  if (restSlots_ > 0) {
    --restSlots_;
    return MouseStep{};
  }
  if (flickSlot_ == 0) {
    // Each flick heads back across the start, so the hand never wanders off.
    const int32_t size = 60 + static_cast<int32_t>(Random() % 91);
    flickFromX_ = x_;
    flickFromY_ = y_;
    flickToX_ = x_ + (x_ > 0 ? -size : size);
    flickToY_ = static_cast<int32_t>(Random() % 61) - 30;
    flickSlots_ = static_cast<uint32_t>(std::lround(kFlickSeconds * rateHz_));
    if (flickSlots_ == 0) flickSlots_ = 1;
  }
  ++flickSlot_;
  const double share = static_cast<double>(flickSlot_) / flickSlots_;
  const MouseStep step = Toward(flickFromX_ + (flickToX_ - flickFromX_) * share,
                                flickFromY_ + (flickToY_ - flickFromY_) * share);
  if (flickSlot_ == flickSlots_) {
    flickSlot_ = 0;
    const double rest = kRestSeconds * (1.0 + static_cast<double>(Random() % 1001) / 1000.0);
    restSlots_ = static_cast<uint32_t>(std::lround(rest * rateHz_));
  }
  return step;
}

MouseStep MousePatternGenerator::Jitter() {
  auto axis = [this](int32_t offset) {
    const int32_t size = 1 + static_cast<int32_t>(Random() % 3);
    const bool positive = offset > kJitterReach ? false : offset < -kJitterReach ? true : (Random() & 1) != 0;
    return positive ? size : -size;
  };
  MouseStep step;
  step.dx = axis(x_);
  step.dy = axis(y_);
  x_ += step.dx;
  y_ += step.dy;
  return step;
}
