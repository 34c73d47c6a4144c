#include "world/world_counting.h"

#include "diag/telemetry_counters.h"
#include "world/world_root_interpolator.h"

namespace driftglass {
namespace {

WorldTelemetry<LiveTelemetrySlots>& World() { return ProcessTelemetry().world; }

// The frame's model-matrix results, counted plainly (the renderer asks on the main thread, a
// thousand times a frame in a busy scene) and handed to the telemetry once the render is over.
WorldTelemetry<SnapshotTelemetrySlots> gFrameModels;

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
  WorldTelemetry<SnapshotTelemetrySlots>& w = gFrameModels;
  const bool nullModel = result == kWorldModelAppliedPropNullModel ||
                         result == kWorldModelAppliedPropParentNullModel ||
                         result == kWorldModelAppliedPropDirectParentNullModel;
  const bool parent = result == kWorldModelAppliedPropParent || result == kWorldModelAppliedPropParentNullModel ||
                      result == kWorldModelAppliedPropDirectParent ||
                      result == kWorldModelAppliedPropDirectParentNullModel;
  const bool direct = result == kWorldModelAppliedPropDirectParent ||
                      result == kWorldModelAppliedPropDirectParentNullModel;
  if (result >= kWorldModelAppliedProp && result <= kWorldModelAppliedPropModelHistory) ++w.propModels;
  if (parent) ++w.propParentModels;
  if (nullModel) ++w.propNullModels;
  if (direct) ++w.propDirectModels;
  switch (result) {
    case kWorldModelAppliedPropModelHistory: ++w.propHistoryModels; break;
    case kWorldModelAppliedGrunt: ++w.gruntModels; break;
    case kWorldModelAppliedStandaloneBody: ++w.standaloneModels; break;
    case kWorldModelAppliedStandaloneBodyNullModel:
      ++w.standaloneModels;
      ++w.standaloneNullModels;
      break;
    case kWorldModelPropParentMismatch: ++w.parentMiss; break;
    case kWorldModelInvalid: ++w.invalid; break;
    case kWorldModelSlotsExhausted: ++w.slotFull; break;
    default: break;
  }
  if (diagnostic == 0) return;
  ++w.modelHistSeen;
  switch (diagnostic) {
    case 1: ++w.modelHistBody; break;
    case 6: ++w.modelHistClock; break;
    case 7: ++w.modelHistGeneration; break;
    case 8: ++w.modelHistPair; break;
    case 9: ++w.modelHistInvalid; break;
    case 12: ++w.modelHistMovingSame; break;
    case 13: ++w.modelHistMovingChanged; break;
    default: break;
  }
}

void CountWorldRenderEnd(uint32_t restoreFailures) {
  WorldTelemetry<LiveTelemetrySlots>& w = World();
  WorldTelemetry<SnapshotTelemetrySlots>& f = gFrameModels;
  AddCount(w.modelRestoreFail, restoreFailures);
  AddCount(w.propModels, f.propModels);
  AddCount(w.propParentModels, f.propParentModels);
  AddCount(w.propNullModels, f.propNullModels);
  AddCount(w.propDirectModels, f.propDirectModels);
  AddCount(w.propHistoryModels, f.propHistoryModels);
  AddCount(w.gruntModels, f.gruntModels);
  AddCount(w.standaloneModels, f.standaloneModels);
  AddCount(w.standaloneNullModels, f.standaloneNullModels);
  AddCount(w.parentMiss, f.parentMiss);
  AddCount(w.invalid, f.invalid);
  AddCount(w.slotFull, f.slotFull);
  AddCount(w.modelHistSeen, f.modelHistSeen);
  AddCount(w.modelHistBody, f.modelHistBody);
  AddCount(w.modelHistClock, f.modelHistClock);
  AddCount(w.modelHistGeneration, f.modelHistGeneration);
  AddCount(w.modelHistPair, f.modelHistPair);
  AddCount(w.modelHistInvalid, f.modelHistInvalid);
  AddCount(w.modelHistMovingSame, f.modelHistMovingSame);
  AddCount(w.modelHistMovingChanged, f.modelHistMovingChanged);
  f = WorldTelemetry<SnapshotTelemetrySlots>{};
}

}  // namespace driftglass
