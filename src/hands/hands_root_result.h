#pragma once

#include <cstdint>

namespace driftglass {

// Outcome of one hands-root stage, capture or apply.
enum HandsRootResult : uint32_t {
  kHandsRootStaged = 0,
  kHandsRootCaptured = 1,
  kHandsRootRenderReady = 2,
  kHandsRootUnavailable = 3,
  kHandsRootIdentityChanged = 4,
  kHandsRootInvalid = 5,
  kHandsRootGeneration = 6,
  kHandsRootNonMonotonic = 7,
  kHandsRootSameTickMutation = 8,
  kHandsRootDiscontinuity = 9,
  kHandsRootClockUnavailable = 10,
  kHandsRootSnapshotsMissing = 11,
  kHandsRootApplyFailed = 12,
};

const wchar_t* HandsRootResultName(uint32_t result);

}  // namespace driftglass
