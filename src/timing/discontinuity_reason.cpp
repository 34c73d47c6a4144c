#include "timing/discontinuity_reason.h"

namespace driftglass {

const wchar_t* DiscontinuityReasonName(uint32_t reason) {
  switch (reason) {
    case kDiscontinuityNone: return L"none";
    case kDiscontinuityExplicit: return L"explicit-discontinuity";
    case kDiscontinuityNonMonotonicWallTime: return L"non-monotonic-wall-time";
    case kDiscontinuityNonMonotonicTick: return L"non-monotonic-tick";
    case kDiscontinuityMissingSnapshots: return L"missing-snapshots";
    case kDiscontinuityLongStall: return L"long-stall";
    default: return L"unknown";
  }
}

}  // namespace driftglass
