#pragma once

#include <atomic>
#include <cstdint>

#include "timing/discontinuity_reason.h"

namespace driftglass {

// An X/Y pair of signed mouse-count sums; the reporter exchanges both with 0.
struct AtomicCountPair {
  std::atomic<int64_t> x{0};
  std::atomic<int64_t> y{0};

  void Add(int64_t dx, int64_t dy) {
    x.fetch_add(dx);
    y.fetch_add(dy);
  }
};

struct CountPair {
  int64_t x = 0;
  int64_t y = 0;
};

// The hooks count into atomics; the reporter's snapshot holds the same fields as plain values,
// so both share one layout, selected by these slot types.
struct LiveTelemetrySlots {
  using Count = std::atomic<uint32_t>;
  using Sum = AtomicCountPair;
  using State = std::atomic<uint32_t>;
  using Name = std::atomic<const wchar_t*>;
};

struct SnapshotTelemetrySlots {
  using Count = uint32_t;
  using Sum = CountPair;
  using State = uint32_t;
  using Name = const wchar_t*;
};

// Field names are the report's keys. Running and interval counters differ only in how the
// reporter takes them (see telemetry_fields.h); a key printed as "a/b" is two counters.

template <typename S>
struct ClockTelemetry {
  typename S::Count interp{0};
  typename S::Count clampOld{0};
  typename S::Count clampNew{0};
  typename S::Count unavailable{0};
  typename S::Count resets{0};
  typename S::Count phaseRebase{0};
  typename S::State alphaMillionths{0};
  typename S::State lastReset{kDiscontinuityNone};
};

template <typename S>
struct CameraViewFailTelemetry {
  typename S::Count noListener{0};
  typename S::Count hidden{0};
  typename S::Count noCamera{0};
  typename S::Count noWorld{0};
  typename S::Count invalid{0};
};

template <typename S>
struct CameraTelemetry {
  typename S::Count captured{0};
  typename S::Count applied{0};
  typename S::Count noScene{0};
  typename S::Count noView{0};
  CameraViewFailTelemetry<S> viewFail;
  typename S::Count identity{0};
  typename S::Count genReset{0};
  typename S::Count nonMono{0};
  typename S::Count sameTick{0};
  typename S::Count jump{0};
  typename S::Count clockWait{0};
  typename S::Count pairMiss{0};
  typename S::Count invalid{0};
  typename S::Count applyFail{0};
  typename S::Count restoreFail{0};
  // The latest result by name, as the counting layer translated it; before any result the
  // camera waits for the clock.
  typename S::Name last{L"clock-unavailable"};
};

template <typename S>
struct MouseAuditTelemetry {
  typename S::Count updates{0};
  typename S::Count acquiredNonZero{0};
  typename S::Count reads{0};
  typename S::Count gameplayReads{0};
  typename S::Count retiredNonZero{0};
  typename S::Sum acquiredXY;
  typename S::Sum retiredXY;
  typename S::Count overwrite{0};
  typename S::Count playerCalls{0};
  typename S::Count earlyExit{0};
  typename S::Count multiRead{0};
  typename S::Count smoothOn{0};
  typename S::Count smoothOff{0};
  typename S::Count invalid{0};
  typename S::Count presentPolls{0};
  typename S::Count presentNonZero{0};
  typename S::Sum presentXY;
  typename S::Count pendingDeliveries{0};
  typename S::Sum deliveredXY;
  typename S::Count tickDeferred{0};
  typename S::Count tickDeferredNonZero{0};
  typename S::Sum deferredXY;
  typename S::Count threadMismatch{0};
  typename S::Count mergeOverflow{0};
  typename S::State rawTap{0};     // 1 once the window is subclassed
  typename S::State rawActive{0};  // 1 once a relative packet was seen
  typename S::Count rawPackets{0};
  typename S::Count rawNonZero{0};
  typename S::Sum rawXY;
  typename S::Count rawTickCompare{0};
  typename S::Count rawTickMismatch{0};
  typename S::Count rawInstallFail{0};
  typename S::Count rawDirectDrains{0};
  typename S::Count rawDirectDrainMessages{0};
  typename S::Count guiStock{0};
  typename S::Count guiPresent{0};
  typename S::Count guiMoves{0};
  typename S::Count guiModeRelative{0};
  typename S::Count guiModeAbsolute{0};
  typename S::Sum guiXY;
  typename S::Count guiFixedCorrection{0};
  typename S::Count guiStale{0};
  typename S::Count guiRestore{0};
  typename S::Count guiInvalid{0};
  typename S::Count guiThreadMismatch{0};
  typename S::Count commandCaptured{0};
  typename S::Count commandMissing{0};
  typename S::Count commandMultiAdd{0};
  typename S::Count scaleAccept{0};
  typename S::Count scaleReject{0};
  typename S::Count scaleFrozen{0};
  typename S::Count commandShapeMatch{0};
  typename S::Count commandShapeMismatch{0};
  typename S::Count commandShapeNone{0};
  typename S::Count commandShapeNonFinite{0};
  typename S::Count transitionsToFallback{0};
  typename S::Count transitionsToDirect{0};
  typename S::Count playerDequantized{0};
  typename S::Count playerDequantizeReject{0};
  typename S::Count previewApplied{0};
  typename S::Count previewNoScale{0};
  typename S::Count previewNoCommand{0};
  typename S::Count previewPendingSuppressed{0};
  typename S::Count previewTransformedBypass{0};
  typename S::Count previewApplyFail{0};
  typename S::Count previewYawRebased{0};
  typename S::Sum previewPendingXY;
  typename S::Count handsCorrectionBuilt{0};
  typename S::Count handsCorrectionApplied{0};
  typename S::Count handsCorrectionFail{0};
};

template <typename S>
struct HandsTelemetry {
  typename S::Count staged{0};
  typename S::Count captured{0};
  typename S::Count ready{0};
  typename S::Count handModels{0};
  typename S::Count objectModels{0};
  typename S::Count objectHistory{0};
  typename S::Count unavailable{0};
  typename S::Count identity{0};
  typename S::Count resets{0};
  typename S::Count clockWait{0};
  typename S::Count pairMiss{0};
  typename S::Count invalid{0};
  typename S::Count applyFail{0};
  typename S::Count slotFull{0};
  typename S::Count attachmentsApplied{0};
  typename S::Count attachmentsSeen{0};
  typename S::Count attachmentParentMiss{0};
  typename S::Count attachmentInvalid{0};
  typename S::Count attachmentFull{0};
  typename S::Count attachmentRestoreFail{0};
  typename S::Name last{L"clock-unavailable"};  // by name, as for the camera
};

template <typename S>
struct WorldTelemetry {
  typename S::Count props{0};
  typename S::Count grunts{0};
  typename S::Count captured{0};
  typename S::Count sleeping{0};
  typename S::Count sleepCached{0};
  typename S::Count moved{0};
  typename S::Count movedMatched{0};
  typename S::Count movedStandalone{0};
  typename S::Count movedOverflow{0};
  typename S::Count movedSkipped{0};  // claimed but not stored when drained
  typename S::Count ready{0};
  typename S::Count propModels{0};
  typename S::Count propParentModels{0};
  typename S::Count propNullModels{0};
  typename S::Count propDirectModels{0};
  typename S::Count propHistoryModels{0};
  typename S::Count multiOwners{0};
  typename S::Count modelCandidates{0};
  typename S::Count modelCaptured{0};
  typename S::Count modelInvalid{0};
  typename S::Count modelCapacity{0};
  typename S::Count modelReady{0};
  typename S::Count modelMovingReady{0};
  typename S::Count modelCacheApplied{0};
  typename S::Count modelCacheInvalid{0};
  typename S::Count modelRestoreFail{0};
  typename S::Count modelHistSeen{0};
  typename S::Count modelHistBody{0};
  typename S::Count modelHistOwnerInvalid{0};
  typename S::Count modelHistOwnerMiss{0};
  typename S::Count modelHistNotReady{0};
  typename S::Count modelHistStale{0};
  typename S::Count modelHistClock{0};
  typename S::Count modelHistGeneration{0};
  typename S::Count modelHistPair{0};
  typename S::Count modelHistInvalid{0};
  typename S::Count modelHistMovingSame{0};
  typename S::Count modelHistMovingChanged{0};
  typename S::Count gruntModels{0};
  typename S::Count standaloneModels{0};
  typename S::Count standaloneNullModels{0};
  typename S::Count resets{0};
  typename S::Count pairMiss{0};
  typename S::Count invalid{0};
  typename S::Count applyFail{0};
  typename S::Count parentMiss{0};
  typename S::Count capacity{0};
  typename S::Count slotFull{0};
};

template <typename S>
struct ParticlesTelemetry {
  typename S::Count calls{0};
  typename S::Count emitters{0};
  typename S::Count positions{0};
  typename S::Count inactive{0};
  typename S::Count invalid{0};
  typename S::Count capacity{0};
  typename S::Count restoreFail{0};
};

template <typename S>
struct ImageTrailTelemetry {
  typename S::Count calls{0};
  typename S::Count adjusted{0};
  typename S::Count unchanged{0};
  typename S::Count clear{0};
  typename S::Count invalid{0};
  typename S::Count nested{0};
  typename S::Count restoreFail{0};
};

template <typename S>
struct PoseTelemetry {
  typename S::Count staged{0};
  typename S::Count applied{0};
  typename S::Count repeat{0};
  typename S::Count unavailable{0};
  typename S::Count identity{0};
  typename S::Count clockWait{0};
  typename S::Count pairMiss{0};
  typename S::Count invalid{0};
  typename S::Count restoreFail{0};
};

template <typename S>
struct EnemyPoseTelemetry {
  typename S::Count enemyStaged{0};
  typename S::Count ragdollStaged{0};
  typename S::Count targets{0};
  typename S::Count visibilitySkip{0};
  typename S::Count visibilityUnknown{0};
  typename S::Count captured{0};
  typename S::Count applied{0};
  typename S::Count identity{0};
  typename S::Count genReset{0};
  typename S::Count nonMono{0};
  typename S::Count sameTick{0};
  typename S::Count boneCount{0};
  typename S::Count jump{0};
  typename S::Count clockWait{0};
  typename S::Count pairMiss{0};
  typename S::Count invalid{0};
  typename S::Count unavailable{0};
  typename S::Count restoreFail{0};
  typename S::Count capacity{0};
};

// The presentation limiter: frames it paced, grid restarts after a late frame, and the time it
// waited and spun, in microseconds (mean wait = waitUs / paced; spin share = spinUs / waitUs).
template <typename S>
struct LimiterTelemetry {
  typename S::Count paced{0};
  typename S::Count lateRestarts{0};
  typename S::Count waitUs{0};
  typename S::Count spinUs{0};
};

// The compare key: flips of its switch, and frames drawn while the corrections were off.
template <typename S>
struct CompareTelemetry {
  typename S::Count switches{0};
  typename S::Count uncorrected{0};
};

// Settings changed while the game ran: how many changes have been applied so far.
template <typename S>
struct SettingsTelemetry {
  typename S::State generation{0};
};

template <typename S>
struct TelemetryGroups {
  typename S::Count ticks{0};
  typename S::Count onDraw{0};
  typename S::Count onPostRender{0};
  typename S::Count sceneRender{0};
  ClockTelemetry<S> clock;
  CameraTelemetry<S> camera;
  MouseAuditTelemetry<S> mouseAudit;
  HandsTelemetry<S> hands;
  WorldTelemetry<S> world;
  ParticlesTelemetry<S> particles;
  ImageTrailTelemetry<S> imageTrail;
  PoseTelemetry<S> pose;
  EnemyPoseTelemetry<S> enemyPose;
  LimiterTelemetry<S> limiter;
  CompareTelemetry<S> compare;
  SettingsTelemetry<S> settings;
};

// What the hooks count into (every member atomic) and what one report holds.
using TelemetryCounters = TelemetryGroups<LiveTelemetrySlots>;
using TelemetryValues = TelemetryGroups<SnapshotTelemetrySlots>;

// The latest interpolation fraction as kept for the report: clamped to [0, 1], in millionths.
uint32_t AlphaToMillionths(double alpha);

// Adds a per-frame or per-tick count; an atomic add is skipped when there is nothing to add.
inline void AddCount(std::atomic<uint32_t>& counter, uint32_t amount) {
  if (amount != 0) counter.fetch_add(amount);
}

TelemetryCounters& ProcessTelemetry();

}  // namespace driftglass
