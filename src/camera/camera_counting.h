#pragma once
// Turns the camera interpolator's results into the telemetry's Camera( counters.

#include <cstdint>

namespace driftglass {

// Counts a camera result in the telemetry and keeps it as the latest.
void CountCameraResult(uint32_t result);
// A camera the render left unrestored; the latest result becomes "apply-failed".
void CountCameraRestoreFailure();

}  // namespace driftglass
