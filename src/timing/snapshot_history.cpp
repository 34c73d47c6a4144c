#include "timing/snapshot_history.h"

namespace driftglass {
namespace {

const wchar_t* SharedAppendResultName(uint32_t result) {
  switch (result) {
    case kAppendAppended: return L"appended";
    case kAppendUnchanged: return L"unchanged";
    case kAppendInvalid: return L"invalid";
    case kAppendGeneration: return L"generation";
    case kAppendNonMonotonic: return L"non-monotonic";
    case kAppendSameTickMutation: return L"same-tick-mutation";
    default: return L"unknown";
  }
}

}  // namespace

const wchar_t* HistoryAppendResultName(uint32_t result) {
  if (result == kAppendDiscontinuity) return L"discontinuity";
  return SharedAppendResultName(result);
}

const wchar_t* PaletteAppendResultName(uint32_t result) {
  if (result == kPaletteAppendBoneCount) return L"bone-count";
  if (result == kPaletteAppendDiscontinuity) return L"discontinuity";
  return SharedAppendResultName(result);
}

const wchar_t* HistoryPairResultName(uint32_t result) {
  switch (result) {
    case kPairApplied: return L"applied";
    case kPairClockUnavailable: return L"clock-unavailable";
    case kPairGenerationMismatch: return L"generation-mismatch";
    case kPairSnapshotsMissing: return L"snapshots-missing";
    case kPairInvalid: return L"invalid";
    default: return L"unknown";
  }
}

}  // namespace driftglass
