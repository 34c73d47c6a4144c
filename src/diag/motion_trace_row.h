#pragma once

#include <cstdint>

#include "diag/motion_trace_record.h"

namespace driftglass {

// The trace file's first line, CR LF included.
extern const char kMotionTraceHeader[];

// Room for the longest row any record can produce: the three "%.9f" fractions of an arbitrary
// double reach 320 characters each, which puts the worst row near 1600 bytes.
constexpr uint32_t kMotionTraceRowCapacity = 2048;

// Formats one CSV row with its CR LF into out; returns its length, or 0 when it did not fit.
uint32_t FormatMotionTraceRow(const MotionTraceRecord& record, int64_t frequency, char* out,
                              uint32_t capacity);

}  // namespace driftglass
