#include "world/world_counting.h"

#include "diag/telemetry_counters.h"
#include "world/world_root_interpolator.h"

namespace driftglass {
namespace {

WorldTelemetry<LiveTelemetrySlots>& World() { return ProcessTelemetry().world; }

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
  AddCount(w.captured, c.captured);
  AddCount(w.resets, c.resets);
  AddCount(w.invalid, c.invalid);
  AddCount(w.sleeping, c.sleeping);
  AddCount(w.moved, c.moved);
  AddCount(w.movedMatched, c.movedMatched);
  AddCount(w.movedStandalone, c.movedStandalone);
  AddCount(w.movedOverflow, c.movedOverflow);
  AddCount(w.movedSkipped, c.movedSkipped);
  AddCount(w.modelCandidates, c.modelCandidates);
  AddCount(w.modelCaptured, c.modelCaptured);
  AddCount(w.modelInvalid, c.modelInvalid);
  AddCount(w.modelCapacity, c.modelCapacity);
}

void CountWorldApply(const WorldApplyCounts& c) {
  WorldTelemetry<LiveTelemetrySlots>& w = World();
  AddCount(w.ready, c.ready);
  AddCount(w.pairMiss, c.pairMiss);
  AddCount(w.invalid, c.invalid);
  AddCount(w.applyFail, c.applyFail);
  AddCount(w.multiOwners, c.multiOwners);
  AddCount(w.modelReady, c.modelReady);
  AddCount(w.modelMovingReady, c.modelMovingReady);
  AddCount(w.modelCacheApplied, c.modelCacheApplied);
  AddCount(w.modelCacheInvalid, c.modelCacheInvalid);
  AddCount(w.modelRestoreFail, c.modelRestoreFail);
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

void CountWorldRestoreFailures(uint32_t failures) { AddCount(World().modelRestoreFail, failures); }

}  // namespace driftglass
