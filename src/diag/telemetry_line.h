#pragma once

#include <cstdint>

#include "diag/telemetry_counters.h"
#include "timing/frame_cadence.h"

namespace driftglass {

// Everything one telemetry line shows: running counters already turned into increases since
// the previous report, interval counters and sums as taken, state values as read.
struct TelemetrySnapshot {
  double elapsedSeconds = 0.0;
  uint32_t renderUnlockState = 0;
  FrameCadenceStats cadence;
  TelemetryValues values;
};

// Room for the longest possible line: every counter at its maximum, every sum at its most
// negative, every millisecond value at its 31-character limit.
constexpr uint32_t kTelemetryLineCapacity = 16384;

// Writes the line without a line end into out (NUL-terminated); returns its length.
uint32_t FormatTelemetryLine(const TelemetrySnapshot& snapshot, char* out, uint32_t capacity);

}  // namespace driftglass
