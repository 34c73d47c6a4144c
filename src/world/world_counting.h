#pragma once
// Turns the world-root and enemy-pose interpolators' results into the telemetry's World( and
// EnemyPose( counters.

#include <cstdint>

namespace driftglass {

struct WorldCaptureCounts;
struct WorldApplyCounts;

void CountWorldStage(uint32_t result);
void CountWorldCapture(const WorldCaptureCounts& counts);
void CountWorldApply(const WorldApplyCounts& counts);
void CountWorldModel(uint32_t result, uint32_t diagnostic);
void CountWorldRestoreFailures(uint32_t failures);

struct EnemyPoseCounts;
void CountEnemyPoseStage(uint32_t result);
void CountEnemyPose(const EnemyPoseCounts& counts);

}  // namespace driftglass
