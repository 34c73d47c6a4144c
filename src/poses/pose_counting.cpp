#include "poses/pose_counting.h"

#include "diag/telemetry_counters.h"
#include "poses/enemy_pose_interpolator.h"

namespace driftglass {

void CountEnemyPoseStage(uint32_t result) {
  EnemyPoseTelemetry<LiveTelemetrySlots>& e = ProcessTelemetry().enemyPose;
  switch (result) {
    case kEnemyPoseStagedEnemy: e.enemyStaged.fetch_add(1); break;
    case kEnemyPoseStagedRagdoll: e.ragdollStaged.fetch_add(1); break;
    case kEnemyPoseInvalid: e.invalid.fetch_add(1); break;
    case kEnemyPoseCapacityExhausted: e.capacity.fetch_add(1); break;
    default: break;  // "ineligible" is not counted
  }
}

void CountEnemyPose(const EnemyPoseCounts& c) {
  EnemyPoseTelemetry<LiveTelemetrySlots>& e = ProcessTelemetry().enemyPose;
  AddCount(e.targets, c.targets);
  AddCount(e.visibilitySkip, c.visibilitySkip);
  AddCount(e.visibilityUnknown, c.visibilityUnknown);
  AddCount(e.captured, c.captured);
  AddCount(e.applied, c.applied);
  AddCount(e.identity, c.identity);
  AddCount(e.genReset, c.genReset);
  AddCount(e.nonMono, c.nonMono);
  AddCount(e.sameTick, c.sameTick);
  AddCount(e.boneCount, c.boneCount);
  AddCount(e.jump, c.jump);
  AddCount(e.clockWait, c.clockWait);
  AddCount(e.pairMiss, c.pairMiss);
  AddCount(e.invalid, c.invalid);
  AddCount(e.unavailable, c.unavailable);
  AddCount(e.restoreFail, c.restoreFail);
}

}  // namespace driftglass
