#include "diag/telemetry_counters.h"

namespace driftglass {

uint32_t AlphaToMillionths(double alpha) {
  if (!(alpha > 0.0)) return 0;  // NaN included
  if (alpha > 1.0) alpha = 1.0;
  return static_cast<uint32_t>(alpha * 1000000.0 + 0.5);
}

TelemetryCounters& ProcessTelemetry() {
  static TelemetryCounters counters;
  return counters;
}

}  // namespace driftglass
