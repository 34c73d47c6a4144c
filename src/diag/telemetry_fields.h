#pragma once

#include "diag/telemetry_counters.h"

namespace driftglass {

// The report's keys in report order, listed once for both taking and printing. A visitor gets
// every field of each group passed in (live counters, previous loads and snapshot when taking;
// the snapshot alone when printing) and provides:
//   Head(key, f...)             running counter of the line's head, printed with its rate
//   Group(name) / EndGroup()    " name(" ... ")"
//   Nested(name) / EndNested()  ", name(" ... ")" inside a group
//   Running(key, f...)          never reset; the report shows the increase
//   Interval(key, f...)         exchanged with 0 at every report
//   Joined(f...)                interval counter printed as "/value" after the previous one
//   Sum(key, f...)              X/Y pair of signed sums, exchanged with 0
//   State(key, name, f...)      latest value, printed by its name function
//   Named(key, f...)            latest result, stored as its name by the counting layer
//   Millionths(key, f...)       latest value, printed as value / 1000000 with three decimals
//   Latest(key, f...)           latest value, printed as it is

inline const wchar_t* RawTapName(uint32_t installed) {
  return installed != 0 ? L"installed" : L"fallback";
}
inline const wchar_t* YesNoName(uint32_t yes) { return yes != 0 ? L"yes" : L"no"; }

template <typename V, typename... G>
void VisitTelemetryHead(V& v, G&... g) {
  v.Head("ticks", g.ticks...);
  v.Head("OnDraw", g.onDraw...);
  v.Head("SceneRender", g.sceneRender...);
  v.Head("OnPostRender", g.onPostRender...);
}

template <typename V, typename... G>
void VisitClockTelemetry(V& v, G&... g) {
  v.Group("Clock");
  v.Running("interp", g.interp...);
  v.Running("clampOld", g.clampOld...);
  v.Running("clampNew", g.clampNew...);
  v.Running("unavailable", g.unavailable...);
  v.Running("resets", g.resets...);
  v.Running("phaseRebase", g.phaseRebase...);
  v.Millionths("alpha", g.alphaMillionths...);
  v.State("lastReset", &DiscontinuityReasonName, g.lastReset...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitCameraTelemetry(V& v, G&... g) {
  v.Group("Camera");
  v.Running("captured", g.captured...);
  v.Running("applied", g.applied...);
  v.Running("noScene", g.noScene...);
  v.Running("noView", g.noView...);
  v.Nested("viewFail");
  v.Interval("noListener", g.viewFail.noListener...);
  v.Interval("hidden", g.viewFail.hidden...);
  v.Interval("noCamera", g.viewFail.noCamera...);
  v.Interval("noWorld", g.viewFail.noWorld...);
  v.Interval("invalid", g.viewFail.invalid...);
  v.EndNested();
  v.Running("identity", g.identity...);
  v.Running("genReset", g.genReset...);
  v.Running("nonMono", g.nonMono...);
  v.Running("sameTick", g.sameTick...);
  v.Running("jump", g.jump...);
  v.Running("clockWait", g.clockWait...);
  v.Running("pairMiss", g.pairMiss...);
  v.Running("invalid", g.invalid...);
  v.Running("applyFail", g.applyFail...);
  v.Running("restoreFail", g.restoreFail...);
  v.Named("last", g.last...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitMouseAuditTelemetry(V& v, G&... g) {
  v.Group("MouseAudit");
  v.Interval("updates", g.updates...);
  v.Interval("acquiredNonZero", g.acquiredNonZero...);
  v.Interval("reads", g.reads...);
  v.Interval("gameplayReads", g.gameplayReads...);
  v.Interval("retiredNonZero", g.retiredNonZero...);
  v.Sum("acquiredXY", g.acquiredXY...);
  v.Sum("retiredXY", g.retiredXY...);
  v.Interval("overwrite", g.overwrite...);
  v.Interval("playerCalls", g.playerCalls...);
  v.Interval("earlyExit", g.earlyExit...);
  v.Interval("multiRead", g.multiRead...);
  v.Interval("smoothOn", g.smoothOn...);
  v.Interval("smoothOff", g.smoothOff...);
  v.Interval("invalid", g.invalid...);
  v.Interval("presentPolls", g.presentPolls...);
  v.Interval("presentNonZero", g.presentNonZero...);
  v.Sum("presentXY", g.presentXY...);
  v.Interval("pendingDeliveries", g.pendingDeliveries...);
  v.Sum("deliveredXY", g.deliveredXY...);
  v.Interval("tickDeferred", g.tickDeferred...);
  v.Interval("tickDeferredNonZero", g.tickDeferredNonZero...);
  v.Sum("deferredXY", g.deferredXY...);
  v.Interval("threadMismatch", g.threadMismatch...);
  v.Interval("mergeOverflow", g.mergeOverflow...);
  v.State("rawTap", &RawTapName, g.rawTap...);
  v.State("rawActive", &YesNoName, g.rawActive...);
  v.Interval("rawPackets", g.rawPackets...);
  v.Interval("rawNonZero", g.rawNonZero...);
  v.Sum("rawXY", g.rawXY...);
  v.Interval("rawTickCompare", g.rawTickCompare...);
  v.Interval("rawTickMismatch", g.rawTickMismatch...);
  v.Interval("rawInstallFail", g.rawInstallFail...);
  v.Interval("rawDirectDrain", g.rawDirectDrains...);
  v.Joined(g.rawDirectDrainMessages...);
  v.Interval("guiStock", g.guiStock...);
  v.Interval("guiPresent", g.guiPresent...);
  v.Interval("guiMoves", g.guiMoves...);
  v.Interval("guiModeSamples", g.guiModeRelative...);
  v.Joined(g.guiModeAbsolute...);
  v.Sum("guiXY", g.guiXY...);
  v.Interval("guiFixedCorrection", g.guiFixedCorrection...);
  v.Interval("guiStale", g.guiStale...);
  v.Interval("guiRestore", g.guiRestore...);
  v.Interval("guiInvalid", g.guiInvalid...);
  v.Interval("guiThreadMismatch", g.guiThreadMismatch...);
  v.Interval("commandCaptured", g.commandCaptured...);
  v.Interval("commandMissing", g.commandMissing...);
  v.Interval("commandMultiAdd", g.commandMultiAdd...);
  v.Interval("scaleAccept", g.scaleAccept...);
  v.Interval("scaleReject", g.scaleReject...);
  v.Interval("scaleFrozen", g.scaleFrozen...);
  v.Interval("commandShape", g.commandShapeMatch...);
  v.Joined(g.commandShapeMismatch...);
  v.Joined(g.commandShapeNone...);
  v.Joined(g.commandShapeNonFinite...);
  v.Interval("fallbackTransitions", g.transitionsToFallback...);
  v.Joined(g.transitionsToDirect...);
  v.Interval("playerDequantized", g.playerDequantized...);
  v.Interval("playerDequantizeReject", g.playerDequantizeReject...);
  v.Interval("previewApplied", g.previewApplied...);
  v.Interval("previewNoScale", g.previewNoScale...);
  v.Interval("previewNoCommand", g.previewNoCommand...);
  v.Interval("previewPendingSuppressed", g.previewPendingSuppressed...);
  v.Interval("previewTransformedBypass", g.previewTransformedBypass...);
  v.Interval("previewApplyFail", g.previewApplyFail...);
  v.Interval("previewYawRebased", g.previewYawRebased...);
  v.Sum("previewPendingXY", g.previewPendingXY...);
  v.Interval("handsCorrectionBuilt", g.handsCorrectionBuilt...);
  v.Interval("handsCorrectionApplied", g.handsCorrectionApplied...);
  v.Interval("handsCorrectionFail", g.handsCorrectionFail...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitHandsTelemetry(V& v, G&... g) {
  v.Group("Hands");
  v.Interval("staged", g.staged...);
  v.Interval("captured", g.captured...);
  v.Interval("ready", g.ready...);
  v.Interval("handModels", g.handModels...);
  v.Interval("objectModels", g.objectModels...);
  v.Interval("objectHistory", g.objectHistory...);
  v.Interval("unavailable", g.unavailable...);
  v.Interval("identity", g.identity...);
  v.Interval("resets", g.resets...);
  v.Interval("clockWait", g.clockWait...);
  v.Interval("pairMiss", g.pairMiss...);
  v.Interval("invalid", g.invalid...);
  v.Interval("applyFail", g.applyFail...);
  v.Interval("slotFull", g.slotFull...);
  v.Interval("attachments", g.attachmentsApplied...);
  v.Joined(g.attachmentsSeen...);
  v.Interval("attachmentParentMiss", g.attachmentParentMiss...);
  v.Interval("attachmentInvalid", g.attachmentInvalid...);
  v.Interval("attachmentFull", g.attachmentFull...);
  v.Interval("attachmentRestoreFail", g.attachmentRestoreFail...);
  v.Named("last", g.last...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitWorldTelemetry(V& v, G&... g) {
  v.Group("World");
  v.Interval("props", g.props...);
  v.Interval("grunts", g.grunts...);
  v.Interval("captured", g.captured...);
  v.Interval("sleeping", g.sleeping...);
  v.Interval("sleepCached", g.sleepCached...);
  v.Interval("moved", g.moved...);
  v.Interval("movedMatched", g.movedMatched...);
  v.Interval("movedStandalone", g.movedStandalone...);
  v.Interval("movedOverflow", g.movedOverflow...);
  v.Interval("movedSkipped", g.movedSkipped...);
  v.Interval("ready", g.ready...);
  v.Interval("propModels", g.propModels...);
  v.Interval("propParentModels", g.propParentModels...);
  v.Interval("propNullModels", g.propNullModels...);
  v.Interval("propDirectModels", g.propDirectModels...);
  v.Interval("propHistoryModels", g.propHistoryModels...);
  v.Interval("multiOwners", g.multiOwners...);
  v.Interval("modelCandidates", g.modelCandidates...);
  v.Interval("modelCaptured", g.modelCaptured...);
  v.Interval("modelInvalid", g.modelInvalid...);
  v.Interval("modelCapacity", g.modelCapacity...);
  v.Interval("modelReady", g.modelReady...);
  v.Interval("modelMovingReady", g.modelMovingReady...);
  v.Interval("modelCacheApplied", g.modelCacheApplied...);
  v.Interval("modelCacheInvalid", g.modelCacheInvalid...);
  v.Interval("modelRestoreFail", g.modelRestoreFail...);
  v.Interval("modelHistSeen", g.modelHistSeen...);
  v.Interval("modelHistBody", g.modelHistBody...);
  v.Interval("modelHistOwnerInvalid", g.modelHistOwnerInvalid...);
  v.Interval("modelHistOwnerMiss", g.modelHistOwnerMiss...);
  v.Interval("modelHistNotReady", g.modelHistNotReady...);
  v.Interval("modelHistStale", g.modelHistStale...);
  v.Interval("modelHistClock", g.modelHistClock...);
  v.Interval("modelHistGeneration", g.modelHistGeneration...);
  v.Interval("modelHistPair", g.modelHistPair...);
  v.Interval("modelHistInvalid", g.modelHistInvalid...);
  v.Interval("modelHistMovingSame", g.modelHistMovingSame...);
  v.Interval("modelHistMovingChanged", g.modelHistMovingChanged...);
  v.Interval("gruntModels", g.gruntModels...);
  v.Interval("standaloneModels", g.standaloneModels...);
  v.Interval("standaloneNullModels", g.standaloneNullModels...);
  v.Interval("resets", g.resets...);
  v.Interval("pairMiss", g.pairMiss...);
  v.Interval("invalid", g.invalid...);
  v.Interval("applyFail", g.applyFail...);
  v.Interval("parentMiss", g.parentMiss...);
  v.Interval("capacity", g.capacity...);
  v.Interval("slotFull", g.slotFull...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitParticlesTelemetry(V& v, G&... g) {
  v.Group("Particles");
  v.Interval("calls", g.calls...);
  v.Interval("emitters", g.emitters...);
  v.Interval("positions", g.positions...);
  v.Interval("inactive", g.inactive...);
  v.Interval("invalid", g.invalid...);
  v.Interval("capacity", g.capacity...);
  v.Interval("restoreFail", g.restoreFail...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitImageTrailTelemetry(V& v, G&... g) {
  v.Group("ImageTrail");
  v.Interval("calls", g.calls...);
  v.Interval("adjusted", g.adjusted...);
  v.Interval("unchanged", g.unchanged...);
  v.Interval("clear", g.clear...);
  v.Interval("invalid", g.invalid...);
  v.Interval("nested", g.nested...);
  v.Interval("restoreFail", g.restoreFail...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitPoseTelemetry(V& v, G&... g) {
  v.Group("Pose");
  v.Interval("staged", g.staged...);
  v.Interval("applied", g.applied...);
  v.Interval("repeat", g.repeat...);
  v.Interval("unavailable", g.unavailable...);
  v.Interval("identity", g.identity...);
  v.Interval("clockWait", g.clockWait...);
  v.Interval("pairMiss", g.pairMiss...);
  v.Interval("invalid", g.invalid...);
  v.Interval("restoreFail", g.restoreFail...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitEnemyPoseTelemetry(V& v, G&... g) {
  v.Group("EnemyPose");
  v.Interval("enemyStaged", g.enemyStaged...);
  v.Interval("ragdollStaged", g.ragdollStaged...);
  v.Interval("targets", g.targets...);
  v.Interval("visibilitySkip", g.visibilitySkip...);
  v.Interval("visibilityUnknown", g.visibilityUnknown...);
  v.Interval("captured", g.captured...);
  v.Interval("applied", g.applied...);
  v.Interval("identity", g.identity...);
  v.Interval("genReset", g.genReset...);
  v.Interval("nonMono", g.nonMono...);
  v.Interval("sameTick", g.sameTick...);
  v.Interval("boneCount", g.boneCount...);
  v.Interval("jump", g.jump...);
  v.Interval("clockWait", g.clockWait...);
  v.Interval("pairMiss", g.pairMiss...);
  v.Interval("invalid", g.invalid...);
  v.Interval("unavailable", g.unavailable...);
  v.Interval("restoreFail", g.restoreFail...);
  v.Interval("capacity", g.capacity...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitLimiterTelemetry(V& v, G&... g) {
  v.Group("Limiter");
  v.Interval("paced", g.paced...);
  v.Interval("lateRestarts", g.lateRestarts...);
  v.Interval("waitUs", g.waitUs...);
  v.Interval("spinUs", g.spinUs...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitCompareTelemetry(V& v, G&... g) {
  v.Group("Compare");
  v.Interval("switches", g.switches...);
  v.Interval("uncorrected", g.uncorrected...);
  v.EndGroup();
}

template <typename V, typename... G>
void VisitSettingsTelemetry(V& v, G&... g) {
  v.Group("Settings");
  v.Latest("generation", g.generation...);
  v.EndGroup();
}

// Every group after FrameCadence, in report order.
template <typename V, typename... G>
void VisitTelemetryGroups(V& v, G&... g) {
  VisitClockTelemetry(v, g.clock...);
  VisitCameraTelemetry(v, g.camera...);
  VisitMouseAuditTelemetry(v, g.mouseAudit...);
  VisitHandsTelemetry(v, g.hands...);
  VisitWorldTelemetry(v, g.world...);
  VisitParticlesTelemetry(v, g.particles...);
  VisitImageTrailTelemetry(v, g.imageTrail...);
  VisitPoseTelemetry(v, g.pose...);
  VisitEnemyPoseTelemetry(v, g.enemyPose...);
  VisitLimiterTelemetry(v, g.limiter...);
  VisitCompareTelemetry(v, g.compare...);
  VisitSettingsTelemetry(v, g.settings...);
}

}  // namespace driftglass
