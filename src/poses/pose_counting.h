#pragma once
// Turns the enemy-pose interpolator's results into the telemetry's EnemyPose( counters.

#include <cstdint>

namespace driftglass {

struct EnemyPoseCounts;
void CountEnemyPoseStage(uint32_t result);
void CountEnemyPose(const EnemyPoseCounts& counts);

}  // namespace driftglass
