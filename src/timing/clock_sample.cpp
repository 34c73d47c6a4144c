#include "timing/clock_sample.h"

namespace driftglass {

const wchar_t* ClockSampleKindName(uint32_t kind) {
  switch (kind) {
    case kSampleUnavailable: return L"unavailable";
    case kSampleInterpolated: return L"interpolated";
    case kSampleClampedOldest: return L"clamped-oldest";
    case kSampleClampedNewest: return L"clamped-newest";
    case kSampleReset: return L"reset";
    default: return L"unknown";
  }
}

}  // namespace driftglass
