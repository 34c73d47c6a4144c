#pragma once

#include <cstdint>

namespace driftglass {

enum ClockSampleKind : uint32_t {
  kSampleUnavailable = 0,
  kSampleInterpolated = 1,
  kSampleClampedOldest = 2,
  kSampleClampedNewest = 3,
  kSampleReset = 4,
};

// "unavailable", "interpolated", "clamped-oldest", "clamped-newest", "reset", else "unknown".
const wchar_t* ClockSampleKindName(uint32_t kind);

// One rendered frame's verdict: whether to interpolate, between which two ticks, at which alpha.
struct ClockSample {
  uint32_t kind = kSampleUnavailable;
  uint32_t reason = 0;  // DiscontinuityReason, set only for "reset"
  bool phaseRebase = false;
  uint64_t generation = 0;
  uint64_t previousTick = 0;
  uint64_t currentTick = 0;
  double alpha = 0.0;
  double presentationSeconds = 0.0;
};

// The same frame as one the clock could not place: nothing is drawn between ticks, nothing is
// blended, and the generation stays, so every history goes on as it was.
inline ClockSample StandAside(const ClockSample& sample) {
  ClockSample aside;
  aside.generation = sample.generation;
  aside.presentationSeconds = sample.presentationSeconds;
  return aside;
}

}  // namespace driftglass
