#pragma once

#include <cstdint>

namespace driftglass {

// Why the presentation clock last started a new generation.
enum DiscontinuityReason : uint32_t {
  kDiscontinuityNone = 0,
  kDiscontinuityExplicit = 1,
  kDiscontinuityNonMonotonicWallTime = 2,
  kDiscontinuityNonMonotonicTick = 3,
  kDiscontinuityMissingSnapshots = 4,
  kDiscontinuityLongStall = 5,
};

const wchar_t* DiscontinuityReasonName(uint32_t reason);

}  // namespace driftglass
