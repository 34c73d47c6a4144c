#include "diag/telemetry_line.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cwchar>
#include <string>

#include "camera/camera_result.h"
#include "diag/telemetry_fields.h"
#include "hands/hands_root_result.h"
#include "timing/render_unlock_state.h"

namespace driftglass {
namespace {

std::string Format(const TelemetrySnapshot& snapshot) {
  std::string line(kTelemetryLineCapacity, '\0');
  line.resize(FormatTelemetryLine(snapshot, line.data(), kTelemetryLineCapacity));
  return line;
}

// The report of an idle interval, written out key by key as users and scripts read it.
const std::string kIdleLine =
    "Telemetry interval=5.000s RenderUnlock=disabled ticks=0 (0.000 Hz) OnDraw=0 (0.000 Hz) "
    "SceneRender=0 (0.000 Hz) OnPostRender=0 (0.000 Hz)"
    " FrameCadence(samples=0, meanMs=0.000, p50Ms=0.000, p95Ms=0.000, p99Ms=0.000, maxMs=0.000, "
    "longGap=0, overflow=0, invalid=0)"
    " Clock(interp=0, clampOld=0, clampNew=0, unavailable=0, resets=0, phaseRebase=0, "
    "alpha=0.000, lastReset=none)"
    " Camera(captured=0, applied=0, noScene=0, noView=0, viewFail(noListener=0, hidden=0, "
    "noCamera=0, noWorld=0, invalid=0), identity=0, genReset=0, nonMono=0, sameTick=0, jump=0, "
    "clockWait=0, pairMiss=0, invalid=0, applyFail=0, restoreFail=0, last=clock-unavailable)"
    " MouseAudit(updates=0, acquiredNonZero=0, reads=0, gameplayReads=0, retiredNonZero=0, "
    "acquiredXY=0/0, retiredXY=0/0, overwrite=0, playerCalls=0, earlyExit=0, multiRead=0, "
    "smoothOn=0, smoothOff=0, invalid=0, presentPolls=0, presentNonZero=0, presentXY=0/0, "
    "pendingDeliveries=0, deliveredXY=0/0, tickDeferred=0, tickDeferredNonZero=0, "
    "deferredXY=0/0, threadMismatch=0, mergeOverflow=0, rawTap=fallback, rawActive=no, "
    "rawPackets=0, rawNonZero=0, rawXY=0/0, rawTickCompare=0, rawTickMismatch=0, "
    "rawInstallFail=0, rawDirectDrain=0/0, guiStock=0, guiPresent=0, guiMoves=0, "
    "guiModeSamples=0/0, guiXY=0/0, guiFixedCorrection=0, guiStale=0, guiRestore=0, guiInvalid=0, "
    "guiThreadMismatch=0, commandCaptured=0, commandMissing=0, commandMultiAdd=0, "
    "scaleAccept=0, scaleReject=0, scaleFrozen=0, commandShape=0/0/0/0, "
    "fallbackTransitions=0/0, playerDequantized=0, playerDequantizeReject=0, "
    "previewApplied=0, previewNoScale=0, previewNoCommand=0, previewPendingSuppressed=0, "
    "previewTransformedBypass=0, previewApplyFail=0, previewYawRebased=0, "
    "previewPendingXY=0/0, handsCorrectionBuilt=0, handsCorrectionApplied=0, "
    "handsCorrectionFail=0)"
    " Hands(staged=0, captured=0, ready=0, handModels=0, objectModels=0, objectHistory=0, "
    "unavailable=0, identity=0, resets=0, clockWait=0, pairMiss=0, invalid=0, applyFail=0, "
    "slotFull=0, attachments=0/0, attachmentParentMiss=0, attachmentInvalid=0, "
    "attachmentFull=0, attachmentRestoreFail=0, last=clock-unavailable)"
    " World(props=0, grunts=0, captured=0, sleeping=0, sleepCached=0, moved=0, movedMatched=0, "
    "movedStandalone=0, movedOverflow=0, movedSkipped=0, ready=0, propModels=0, "
    "propParentModels=0, "
    "propNullModels=0, propDirectModels=0, propHistoryModels=0, multiOwners=0, "
    "modelCandidates=0, modelCaptured=0, modelInvalid=0, modelCapacity=0, modelReady=0, "
    "modelMovingReady=0, modelCacheApplied=0, modelCacheInvalid=0, modelRestoreFail=0, "
    "modelHistSeen=0, modelHistBody=0, modelHistOwnerInvalid=0, modelHistOwnerMiss=0, "
    "modelHistNotReady=0, modelHistStale=0, modelHistClock=0, modelHistGeneration=0, "
    "modelHistPair=0, modelHistInvalid=0, modelHistMovingSame=0, modelHistMovingChanged=0, "
    "gruntModels=0, standaloneModels=0, standaloneNullModels=0, resets=0, pairMiss=0, "
    "invalid=0, applyFail=0, parentMiss=0, capacity=0, slotFull=0)"
    " Particles(calls=0, emitters=0, positions=0, inactive=0, invalid=0, capacity=0, "
    "restoreFail=0)"
    " ImageTrail(calls=0, adjusted=0, unchanged=0, clear=0, invalid=0, nested=0, "
    "restoreFail=0)"
    " Pose(staged=0, applied=0, repeat=0, unavailable=0, identity=0, clockWait=0, pairMiss=0, "
    "invalid=0, restoreFail=0)"
    " EnemyPose(enemyStaged=0, ragdollStaged=0, targets=0, visibilitySkip=0, "
    "visibilityUnknown=0, captured=0, applied=0, identity=0, genReset=0, nonMono=0, "
    "sameTick=0, boneCount=0, jump=0, clockWait=0, pairMiss=0, invalid=0, unavailable=0, "
    "restoreFail=0, capacity=0)"
    " Limiter(paced=0, lateRestarts=0, waitUs=0, spinUs=0)"
    " Compare(switches=0, uncorrected=0)"
    " Settings(generation=0)";

TEST(TelemetryLine, IdleIntervalPrintsEveryGroupAndKeyInOrder) {
  TelemetrySnapshot snapshot;
  snapshot.elapsedSeconds = 5.0;
  EXPECT_EQ(Format(snapshot), kIdleLine);
}

TEST(TelemetryLine, ValuesRatesSumsAndStates) {
  TelemetrySnapshot snapshot;
  snapshot.elapsedSeconds = 5.001;
  snapshot.renderUnlockState = kRenderUnlockActive;
  snapshot.values.ticks = 300;
  snapshot.values.onDraw = 721;
  snapshot.values.sceneRender = 721;
  snapshot.values.onPostRender = 4294967295u;
  snapshot.cadence.samples = 721;
  snapshot.cadence.meanMs = 6.935;
  snapshot.cadence.overflow = 2;
  snapshot.values.clock.alphaMillionths = 400000;
  snapshot.values.clock.lastReset = kDiscontinuityLongStall;
  snapshot.values.camera.last = CameraResultName(kCameraApplied);
  snapshot.values.camera.viewFail.hidden = 3;
  snapshot.values.mouseAudit.acquiredXY = {-12, INT64_MIN};
  snapshot.values.mouseAudit.rawTap = 1;
  snapshot.values.mouseAudit.rawActive = 1;
  snapshot.values.mouseAudit.commandShapeMatch = 1;
  snapshot.values.mouseAudit.commandShapeNonFinite = 4;
  snapshot.values.hands.attachmentsApplied = 2;
  snapshot.values.hands.attachmentsSeen = 5;
  snapshot.values.hands.last = HandsRootResultName(99);
  snapshot.values.limiter = {700, 1, 4200000, 310000};
  snapshot.values.compare = {2, 345};
  snapshot.values.settings.generation = 3;
  const std::string line = Format(snapshot);

  EXPECT_EQ(line.rfind("Telemetry interval=5.001s RenderUnlock=active ticks=300 (59.988 Hz) "
                       "OnDraw=721 (144.171 Hz) SceneRender=721 (144.171 Hz) "
                       "OnPostRender=4294967295 (858821694.661 Hz) FrameCadence(samples=721, "
                       "meanMs=6.935, ",
                       0),
            0u)
      << line;
  for (const char* expected :
       {"overflow=2, invalid=0) Clock(", "alpha=0.400, lastReset=long-stall)",
        "noView=0, viewFail(noListener=0, hidden=3, noCamera=0", "last=applied) MouseAudit(",
        "acquiredXY=-12/-9223372036854775808, ", "rawTap=installed, rawActive=yes, ",
        "commandShape=1/0/0/4, ", "attachments=2/5, ", "last=unknown) World(",
        " Limiter(paced=700, lateRestarts=1, waitUs=4200000, spinUs=310000) Compare(switches=2, uncorrected=345)"
        " Settings(generation=3)"}) {
    EXPECT_NE(line.find(expected), std::string::npos) << expected;
  }

  snapshot.elapsedSeconds = -1.0;  // a clock that went back: no rates rather than negative ones
  EXPECT_NE(Format(snapshot).find("interval=-1.000s RenderUnlock=active ticks=300 (0.000 Hz)"),
            std::string::npos);
}

// Sets every field to its widest text: counters at their maximum, sums at their most negative,
// states at their longest name.
struct FillWidest {
  void Head(const char*, uint32_t& value) { value = UINT32_MAX; }
  void Running(const char*, uint32_t& value) { value = UINT32_MAX; }
  void Interval(const char*, uint32_t& value) { value = UINT32_MAX; }
  void Joined(uint32_t& value) { value = UINT32_MAX; }
  void Sum(const char*, CountPair& pair) { pair = {INT64_MIN, INT64_MIN}; }
  void Millionths(const char*, uint32_t& value) { value = UINT32_MAX; }
  void Latest(const char*, uint32_t& value) { value = UINT32_MAX; }
  // The longest name any result has.
  void Named(const char*, const wchar_t*& value) {
    value = L"";
    for (uint32_t candidate = 0; candidate < 64; ++candidate) {
      for (const wchar_t* name : {CameraResultName(candidate), HandsRootResultName(candidate)}) {
        if (wcslen(name) > wcslen(value)) value = name;
      }
    }
  }
  void State(const char*, const wchar_t* (*name)(uint32_t), uint32_t& value) {
    value = 0;
    for (uint32_t candidate = 0; candidate < 64; ++candidate) {
      if (wcslen(name(candidate)) > wcslen(name(value))) value = candidate;
    }
  }
  void Group(const char*) {}
  void EndGroup() {}
  void Nested(const char*) {}
  void EndNested() {}
};

TEST(TelemetryLine, WidestLineFitsItsBuffer) {
  TelemetrySnapshot snapshot;
  snapshot.elapsedSeconds = 1e-9;  // rates of 4e18 Hz
  snapshot.renderUnlockState = kRenderUnlockRejected;
  snapshot.cadence = {UINT64_MAX, -1e300, 1e300, 1e300, 1e300, 1e300,
                      UINT32_MAX, UINT32_MAX, UINT32_MAX};
  FillWidest fill;
  VisitTelemetryHead(fill, snapshot.values);
  VisitTelemetryGroups(fill, snapshot.values);
  const std::string line = Format(snapshot);
  EXPECT_LT(line.size(), kTelemetryLineCapacity / 2);
  const std::string end = " uncorrected=4294967295) Settings(generation=4294967295)";
  EXPECT_EQ(line.substr(line.size() - end.size()), end);
  EXPECT_NE(line.find("acquiredXY=-9223372036854775808/-9223372036854775808, "),
            std::string::npos);
  EXPECT_NE(line.find("last=listener-missing-camera) "), std::string::npos);
  // "%.3f" of 1e300 has over 300 digits; the line keeps 31 characters of it.
  EXPECT_NE(line.find(" meanMs=-100000000000000005250476025520, "
                      "p50Ms=1000000000000000052504760255204, "),
            std::string::npos)
      << line.substr(0, 600);
}

TEST(TelemetryLine, DecimalsUseAPeriodInAnyLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "German"), nullptr);
  TelemetrySnapshot snapshot;
  snapshot.elapsedSeconds = 2.5;
  snapshot.values.ticks = 150;
  snapshot.cadence.p99Ms = 16.665;
  const std::string line = Format(snapshot);
  std::setlocale(LC_ALL, "C");
  EXPECT_NE(line.find("interval=2.500s"), std::string::npos) << line;
  EXPECT_NE(line.find("ticks=150 (60.000 Hz)"), std::string::npos);
  EXPECT_NE(line.find("p99Ms=16.665, "), std::string::npos);
}

}  // namespace
}  // namespace driftglass
