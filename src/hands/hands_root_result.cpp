#include "hands/hands_root_result.h"

namespace driftglass {

const wchar_t* HandsRootResultName(uint32_t result) {
  switch (result) {
    case kHandsRootStaged: return L"staged";
    case kHandsRootCaptured: return L"captured";
    case kHandsRootRenderReady: return L"render-ready";
    case kHandsRootUnavailable: return L"unavailable";
    case kHandsRootIdentityChanged: return L"identity-changed";
    case kHandsRootInvalid: return L"invalid";
    case kHandsRootGeneration: return L"generation";
    case kHandsRootNonMonotonic: return L"non-monotonic";
    case kHandsRootSameTickMutation: return L"same-tick-mutation";
    case kHandsRootDiscontinuity: return L"discontinuity";
    case kHandsRootClockUnavailable: return L"clock-unavailable";
    case kHandsRootSnapshotsMissing: return L"snapshots-missing";
    case kHandsRootApplyFailed: return L"apply-failed";
    default: return L"unknown";
  }
}

}  // namespace driftglass
