#include "hands/hands_counting.h"

#include "diag/telemetry_counters.h"
#include "hands/hands_pose_interpolator.h"
#include "hands/hands_root_interpolator.h"
#include "hands/hands_root_result.h"

namespace driftglass {

void CountHandsRootResult(uint32_t result) {
  HandsTelemetry<LiveTelemetrySlots>& h = ProcessTelemetry().hands;
  switch (result) {
    case kHandsRootStaged: h.staged.fetch_add(1); break;
    case kHandsRootCaptured: h.captured.fetch_add(1); break;
    case kHandsRootRenderReady: h.ready.fetch_add(1); break;
    case kHandsRootUnavailable: h.unavailable.fetch_add(1); break;
    case kHandsRootIdentityChanged: h.identity.fetch_add(1); break;
    case kHandsRootInvalid: h.invalid.fetch_add(1); break;
    case kHandsRootGeneration:
    case kHandsRootNonMonotonic:
    case kHandsRootSameTickMutation:
    case kHandsRootDiscontinuity: h.resets.fetch_add(1); break;
    case kHandsRootClockUnavailable: h.clockWait.fetch_add(1); break;
    case kHandsRootSnapshotsMissing: h.pairMiss.fetch_add(1); break;
    case kHandsRootApplyFailed: h.applyFail.fetch_add(1); break;
    default: break;
  }
  h.last.store(HandsRootResultName(result));
}

void CountHandsModelResult(uint32_t result) {
  HandsTelemetry<LiveTelemetrySlots>& h = ProcessTelemetry().hands;
  switch (result) {
    case kHandsModelApplied: h.handModels.fetch_add(1); break;
    case kHandsModelAppliedHandObject: h.objectModels.fetch_add(1); break;
    case kHandsModelAppliedHandObjectHistory:
      h.objectModels.fetch_add(1);
      h.objectHistory.fetch_add(1);
      break;
    case kHandsModelInvalid: h.invalid.fetch_add(1); break;
    case kHandsModelSlotsExhausted: h.slotFull.fetch_add(1); break;
    default: break;
  }
}

void CountHandsAttachments(const HandsAttachmentCounts& counts) {
  HandsTelemetry<LiveTelemetrySlots>& h = ProcessTelemetry().hands;
  h.attachmentsApplied.fetch_add(counts.applied);
  h.attachmentsSeen.fetch_add(counts.seen);
  h.attachmentParentMiss.fetch_add(counts.parentMiss);
  h.attachmentInvalid.fetch_add(counts.invalid);
  h.attachmentFull.fetch_add(counts.full);
}

void CountHandsAttachmentRestoreFailures(uint32_t failures) {
  if (failures != 0) ProcessTelemetry().hands.attachmentRestoreFail.fetch_add(failures);
}

void CountHandsPoseStage(uint32_t result) {
  PoseTelemetry<LiveTelemetrySlots>& p = ProcessTelemetry().pose;
  if (result == kHandsPoseStaged) p.staged.fetch_add(1);
  if (result == kHandsPoseStageUnavailable) p.unavailable.fetch_add(1);
}

void CountHandsPoseResult(uint32_t result) {
  PoseTelemetry<LiveTelemetrySlots>& p = ProcessTelemetry().pose;
  switch (result) {
    case kHandsPoseApplied: p.applied.fetch_add(1); break;
    case kHandsPoseAlreadyApplied: p.repeat.fetch_add(1); break;
    case kHandsPoseUnavailable: p.unavailable.fetch_add(1); break;
    case kHandsPoseIdentityChanged: p.identity.fetch_add(1); break;
    case kHandsPoseClockUnavailable: p.clockWait.fetch_add(1); break;
    case kHandsPosePairMissing: p.pairMiss.fetch_add(1); break;
    case kHandsPoseInvalid: p.invalid.fetch_add(1); break;
    default: break;
  }
}

void CountHandsPoseRestoreFailure() { ProcessTelemetry().pose.restoreFail.fetch_add(1); }

}  // namespace driftglass
