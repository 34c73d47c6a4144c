#pragma once
// Turns the world-root interpolator's results into the telemetry's World( counters.

#include <cstdint>

namespace driftglass {

struct WorldCaptureCounts;
struct WorldApplyCounts;

void CountWorldStage(uint32_t result);
void CountWorldCapture(const WorldCaptureCounts& counts);
void CountWorldApply(const WorldApplyCounts& counts);
void CountWorldModel(uint32_t result, uint32_t diagnostic);
void CountWorldRestoreFailures(uint32_t failures);

}  // namespace driftglass
