#pragma once
// Turns the world-root interpolator's results into the telemetry's World( counters.

#include <cstdint>

namespace driftglass {

struct WorldCaptureCounts;
struct WorldApplyCounts;

void CountWorldStage(uint32_t result);
void CountWorldCapture(const WorldCaptureCounts& counts);
void CountWorldApply(const WorldApplyCounts& counts);
// Counted for the frame; the telemetry receives them at the render's end.
void CountWorldModel(uint32_t result, uint32_t diagnostic);
// After every render: the caches that could not be put back and the frame's model-matrix results.
void CountWorldRenderEnd(uint32_t restoreFailures);

}  // namespace driftglass
