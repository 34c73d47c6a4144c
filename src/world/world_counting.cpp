#include "world/world_counting.h"

#include "diag/telemetry_counters.h"
#include "poses/enemy_pose_interpolator.h"
#include "world/world_root_interpolator.h"

namespace driftglass {
namespace {

WorldTelemetry<LiveTelemetrySlots>& World() { return ProcessTelemetry().world; }

void Add(std::atomic<uint32_t>& counter, uint32_t amount) {
  if (amount != 0) counter.fetch_add(amount);
}

}  // namespace

void CountWorldStage(uint32_t result) {
  switch (result) {
    case kWorldStagedProp: World().props.fetch_add(1); break;
    case kWorldStagedGrunt: World().grunts.fetch_add(1); break;
    case kWorldCachedSleepingProp: World().sleepCached.fetch_add(1); break;
    case kWorldInvalid: World().invalid.fetch_add(1); break;
    case kWorldCapacity: World().capacity.fetch_add(1); break;
    default: break;  // "ineligible" is not counted
  }
}

void CountWorldCapture(const WorldCaptureCounts& c) {
  WorldTelemetry<LiveTelemetrySlots>& w = World();
  Add(w.captured, c.captured);
  Add(w.resets, c.resets);
  Add(w.invalid, c.invalid);
  Add(w.sleeping, c.sleeping);
  Add(w.moved, c.moved);
  Add(w.movedMatched, c.movedMatched);
  Add(w.movedStandalone, c.movedStandalone);
  Add(w.movedOverflow, c.movedOverflow);
  Add(w.modelCandidates, c.modelCandidates);
  Add(w.modelCaptured, c.modelCaptured);
  Add(w.modelInvalid, c.modelInvalid);
  Add(w.modelCapacity, c.modelCapacity);
}

void CountWorldApply(const WorldApplyCounts& c) {
  WorldTelemetry<LiveTelemetrySlots>& w = World();
  Add(w.ready, c.ready);
  Add(w.pairMiss, c.pairMiss);
  Add(w.invalid, c.invalid);
  Add(w.applyFail, c.applyFail);
  Add(w.multiOwners, c.multiOwners);
  Add(w.modelReady, c.modelReady);
  Add(w.modelMovingReady, c.modelMovingReady);
  Add(w.modelCacheApplied, c.modelCacheApplied);
  Add(w.modelCacheInvalid, c.modelCacheInvalid);
  Add(w.modelRestoreFail, c.modelRestoreFail);
}

void CountWorldModel(uint32_t result, uint32_t diagnostic) {
  WorldTelemetry<LiveTelemetrySlots>& w = World();
  const bool nullModel = result == kWorldModelAppliedPropNullModel ||
                         result == kWorldModelAppliedPropParentNullModel ||
                         result == kWorldModelAppliedPropDirectParentNullModel;
  const bool parent = result == kWorldModelAppliedPropParent || result == kWorldModelAppliedPropParentNullModel ||
                      result == kWorldModelAppliedPropDirectParent ||
                      result == kWorldModelAppliedPropDirectParentNullModel;
  const bool direct = result == kWorldModelAppliedPropDirectParent ||
                      result == kWorldModelAppliedPropDirectParentNullModel;
  if (result >= kWorldModelAppliedProp && result <= kWorldModelAppliedPropModelHistory) w.propModels.fetch_add(1);
  if (parent) w.propParentModels.fetch_add(1);
  if (nullModel) w.propNullModels.fetch_add(1);
  if (direct) w.propDirectModels.fetch_add(1);
  switch (result) {
    case kWorldModelAppliedPropModelHistory: w.propHistoryModels.fetch_add(1); break;
    case kWorldModelAppliedGrunt: w.gruntModels.fetch_add(1); break;
    case kWorldModelAppliedStandaloneBody: w.standaloneModels.fetch_add(1); break;
    case kWorldModelAppliedStandaloneBodyNullModel:
      w.standaloneModels.fetch_add(1);
      w.standaloneNullModels.fetch_add(1);
      break;
    case kWorldModelPropParentMismatch: w.parentMiss.fetch_add(1); break;
    case kWorldModelInvalid: w.invalid.fetch_add(1); break;
    case kWorldModelSlotsExhausted: w.slotFull.fetch_add(1); break;
    default: break;
  }
  if (diagnostic == 0) return;
  w.modelHistSeen.fetch_add(1);
  switch (diagnostic) {
    case 1: w.modelHistBody.fetch_add(1); break;
    case 6: w.modelHistClock.fetch_add(1); break;
    case 7: w.modelHistGeneration.fetch_add(1); break;
    case 8: w.modelHistPair.fetch_add(1); break;
    case 9: w.modelHistInvalid.fetch_add(1); break;
    case 12: w.modelHistMovingSame.fetch_add(1); break;
    case 13: w.modelHistMovingChanged.fetch_add(1); break;
    default: break;
  }
}

void CountWorldRestoreFailures(uint32_t failures) { Add(World().modelRestoreFail, failures); }

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
  Add(e.targets, c.targets);
  Add(e.visibilitySkip, c.visibilitySkip);
  Add(e.visibilityUnknown, c.visibilityUnknown);
  Add(e.captured, c.captured);
  Add(e.applied, c.applied);
  Add(e.identity, c.identity);
  Add(e.genReset, c.genReset);
  Add(e.nonMono, c.nonMono);
  Add(e.sameTick, c.sameTick);
  Add(e.boneCount, c.boneCount);
  Add(e.jump, c.jump);
  Add(e.clockWait, c.clockWait);
  Add(e.pairMiss, c.pairMiss);
  Add(e.invalid, c.invalid);
  Add(e.unavailable, c.unavailable);
  Add(e.restoreFail, c.restoreFail);
}

}  // namespace driftglass
