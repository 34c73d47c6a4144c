#include "frame/tick_frame_sequence.h"

#include <windows.h>

#include <cmath>

#include "camera/camera_counting.h"
#include "camera/camera_interpolator.h"
#include "diag/motion_trace.h"
#include "diag/telemetry_counters.h"
#include "effects/particle_positions.h"
#include "frame/engine_run_detour.h"
#include "frame/live_settings_apply.h"
#include "frame/presentation_limiter.h"
#include "hands/hands_counting.h"
#include "hands/hands_pose_interpolator.h"
#include "hands/hands_root_interpolator.h"
#include "hands/hands_root_result.h"
#include "input/compare_key.h"
#include "input/look_preview.h"
#include "input/mouse_detours.h"
#include "log/diagnostic_log.h"
#include "measure/stage_meter.h"
#include "poses/enemy_pose_interpolator.h"
#include "poses/pose_counting.h"
#include "shared/compare_switch.h"
#include "shared/frame_sequence_settings.h"
#include "timing/frame_cadence.h"
#include "timing/presentation_clock.h"
#include "timing/tick_sequence.h"
#include "timing/wall_clock.h"
#include "world/world_counting.h"
#include "world/world_root_interpolator.h"

namespace driftglass {
namespace {

using RunMessageFunction = void(DRIFTGLASS_THISCALL*)(void*, int32_t, float);
using SceneRenderFunction = void(DRIFTGLASS_THISCALL*)(void*, float, uint32_t);

void CountReset(uint32_t reason) {
  if (reason == kDiscontinuityNone) return;
  ClockTelemetry<LiveTelemetrySlots>& clock = ProcessTelemetry().clock;
  clock.resets.fetch_add(1);
  clock.lastReset.store(reason);
}

void CountSample(const ClockSample& sample) {
  ClockTelemetry<LiveTelemetrySlots>& clock = ProcessTelemetry().clock;
  switch (sample.kind) {
    case kSampleInterpolated: clock.interp.fetch_add(1); break;
    case kSampleClampedOldest: clock.clampOld.fetch_add(1); break;
    case kSampleClampedNewest: clock.clampNew.fetch_add(1); break;
    case kSampleUnavailable: clock.unavailable.fetch_add(1); break;
    default: break;
  }
  if (sample.kind == kSampleReset) CountReset(sample.reason);
  if (sample.phaseRebase) clock.phaseRebase.fetch_add(1);
  clock.alphaMillionths.store(AlphaToMillionths(sample.alpha));
}

// On a frame drawn without corrections a feature finds no pair of ticks because it stood aside:
// Compare(uncorrected=) counts that frame, not the feature's wait for the clock.
bool StoodAside(bool correctionsOff, uint32_t result, uint32_t clockUnavailable) {
  return correctionsOff && result == clockUnavailable;
}

void CountPacing(const PacerCounts& c) {
  LimiterTelemetry<LiveTelemetrySlots>& limiter = ProcessTelemetry().limiter;
  AddCount(limiter.paced, c.paced);
  AddCount(limiter.lateRestarts, c.lateRestarts);
  AddCount(limiter.waitUs, c.waitMicros);
  AddCount(limiter.spinUs, c.spinMicros);
}

// One tick of capture after the engine's own fixed step has run.
void CaptureTick() {
  StageScope stage(kStageTickCapture);
  TelemetryCounters& telemetry = ProcessTelemetry();
  telemetry.ticks.fetch_add(1);
  ApplyLiveSettingsAtTick();  // a change of the INI, all at once, before this tick is captured
  ReadCompareKeyAtTick();  // once a tick: a flip shows from the next frame on
  const uint64_t tick = AdvanceTickSequence(ProcessTickSequence());
  PresentationClock& clock = ProcessPresentationClock();
  CountReset(clock.RecordTick(tick, WallSeconds(), false).reason);
  const uint64_t generation = clock.generation();  // after any reset the tick caused
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  if (settings.camera) {
    StageScope camera(kStageCameraCapture);
    CountCameraResult(ProcessCameraInterpolator().CaptureCamera(tick, generation));
  }
  if (settings.handsRoot) {
    StageScope hands(kStageHandsCapture);
    CountHandsRootResult(ProcessHandsRootInterpolator().Capture(tick, generation));
  }
  if (settings.worldRoot) {
    StageScope world(kStageWorldCapture);
    CountWorldCapture(ProcessWorldRootInterpolator().Capture(tick, generation));
  }
  if (settings.handsPose) {
    StageScope pose(kStageHandsPoseCapture);
    ProcessHandsPoseInterpolator().Capture(tick, generation);
  }
  if (settings.worldPose) {
    StageScope poses(kStageEnemyPoseCapture);
    ProcessEnemyPoseInterpolator().Capture(tick, generation);
  }
}

// Logged once per process, the first time the hands' palette holds a bone that cannot be blended.
void LogHandsPoseDiagnostic(HandsPoseInterpolator& pose) {
  static bool done = false;
  HandsPoseDiagnostic diagnostic;
  if (done || !pose.TakeDiagnostic(diagnostic)) return;
  wchar_t text[512];
  int length = swprintf(text, 512, L"Hands pose diagnostic: first invalid affine bone index=%u matrix=[",
                        diagnostic.boneIndex);
  for (int i = 0; i < 16 && length > 0 && length < 480; ++i) {
    length += swprintf(text + length, 512 - length, i == 0 ? L"%.6g" : L",%.6g",
                       static_cast<double>(diagnostic.matrix[i]));
  }
  if (length <= 0 || length >= 510) return;
  text[length++] = L']';
  text[length] = L'\0';
  ProcessLog().WriteLine(kLogWarn, text, static_cast<uint32_t>(length));
  done = true;
}

}  // namespace

void DRIFTGLASS_THISCALL RunMessageDetour(void* updater, int32_t message, float dt) {
  const auto original = Original<RunMessageFunction>(kDetourRunMessage);
  TelemetryCounters& telemetry = ProcessTelemetry();
  if (message == kMessageOnDraw) {
    StageScope draw(kStageDrawMessage);
    UpdateGuiCursorNow();  // the GUI draws this frame with the cursor where the mouse is now
    draw.End();
    original(updater, message, dt);
    RestoreGuiCursorNow();  // and the game's logic finds it where the game put it
    telemetry.onDraw.fetch_add(1);
    return;
  }
  original(updater, message, dt);
  if (message == kMessageOnPostRender) {
    telemetry.onPostRender.fetch_add(1);
    // The limiter waits once the frame is out: the ticks that come due meanwhile are stepped
    // before the next frame reads its time, so that frame sees paced time and fresh ticks.
    CountPacing(PaceFrameNow());
  } else if (message == kMessageFixedStepDone) {
    CaptureTick();  // only now is the tick's state final
  }
}

void DRIFTGLASS_THISCALL SceneRenderDetour(void* scene, float frameTime, uint32_t flags) {
  StageScope apply(kStageFrameApply);
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);  // the frame's one time reading
  ProcessFrameCadence().RecordFrame(counter.QuadPart, ProcessCounterFrequency());
  const PresentationMotion poll = PollPresentationMotionNow();
  MouseState& mouse = ProcessMouseState();
  const int64_t deferredX = mouse.traceDeferred.x.exchange(0);
  const int64_t deferredY = mouse.traceDeferred.y.exchange(0);

  const double now = WallSecondsAt(counter.QuadPart);
  const FrameFraction fraction =
      ProcessFrameFractionClock().ComputeFrameFraction(now, &QueryLogicTimerResidual);
  const ClockSample sample =
      ProcessPresentationClock().SampleClock(now, fraction.alpha, fraction.alphaValid);
  CountSample(sample);
  const uint64_t tickSequence = ProcessTickSequence().load();
  // With the corrections off the frame is drawn as one the clock cannot place: every feature still
  // captures what it sees, none writes. A correction the INI turned off stands aside the same way.
  const bool correctionsOff = ProcessCompareSwitch().correctionsOff;
  if (correctionsOff) ProcessTelemetry().compare.uncorrected.fetch_add(1);
  AppliedSettings& applied = ProcessAppliedSettings();
  const SettingKeys drawn = applied.current.drawn;
  const ClockSample aside = StandAside(sample);
  const auto off = [&](SettingKey key) { return correctionsOff || (drawn & SettingBit(key)) == 0; };
  const auto drawnIf = [&](SettingKey key) -> const ClockSample& { return off(key) ? aside : sample; };
  const auto stoodAside = [&](SettingKey key, uint32_t result, uint32_t clockUnavailable) {
    return StoodAside(off(key), result, clockUnavailable);
  };

  bool cameraApplied = false;
  MotionTraceRecord trace;
  RigidTransform viewCorrection = IdentityTransform();
  PreviewRecord preview;
  bool previewApplied = false;
  if (settings.camera) {
    StageScope stage(kStageCameraApply);
    CameraInterpolator& camera = ProcessCameraInterpolator();
    const uint32_t result = camera.ApplyCamera(scene, tickSequence, drawnIf(kSettingCameraInterpolation));
    if (!stoodAside(kSettingCameraInterpolation, result, kCameraClockUnavailable)) CountCameraResult(result);
    if (result == kCameraApplied) {
      cameraApplied = true;
      trace.flags |= kMotionCameraApplied;
      // The drawn poses are read back for the trace alone: each read is a region query.
      if (camera.GetSavedLogicPose(trace.auth)) trace.flags |= kMotionAuthPose;
      if (settings.motionTrace && camera.ReadAppliedCameraPose(trace.base)) trace.flags |= kMotionBasePose;
      previewApplied = ApplyLookPreview(ProcessLookState(), mouse, camera, ProcessTelemetry().mouseAudit,
                                        drawnIf(kSettingMouseOverlay), tickSequence, viewCorrection, preview);
      if (settings.motionTrace && camera.ReadAppliedCameraPose(trace.final)) trace.flags |= kMotionFinalPose;
    }
  }

  if (settings.motionTrace) {
    trace.qpcCounter = counter.QuadPart;
    trace.tickSerial = tickSequence;
    trace.olderSerial = sample.previousTick;
    trace.newerSerial = sample.currentTick;
    trace.rawAlpha = fraction.raw;
    trace.phaseDelayTicks = fraction.phase;
    trace.alpha = sample.alpha;
    if (fraction.alphaValid) trace.flags |= kMotionAlphaValid;
    trace.pollX = poll.x;
    trace.pollY = poll.y;
    if (poll.valid) trace.flags |= kMotionPollValid;
    trace.deferredX = deferredX;
    trace.deferredY = deferredY;
    trace.pendingX = preview.pendingX;
    trace.pendingY = preview.pendingY;
    trace.historyPitch = preview.historyPitch;
    trace.historyYaw = preview.historyYaw;
    trace.pendingPitch = preview.pendingPitch;
    trace.pendingYaw = preview.pendingYaw;
    if (preview.hasCommand) trace.flags |= kMotionPreviewHasCommand;
    if (preview.pendingApplied) trace.flags |= kMotionPreviewPendingApplied;
    if (preview.rotationApplied) trace.flags |= kMotionPreviewRotationApplied;
    if (correctionsOff) trace.flags |= kMotionCorrectionsOff;
    if (applied.markNextFrame) trace.flags |= kMotionSettingsChanged;
    PublishMotionRecord(trace);
  }
  applied.markNextFrame = false;
  if (settings.handsRoot) {
    StageScope stage(kStageHandsApply);
    HandsRootInterpolator& hands = ProcessHandsRootInterpolator();
    // The hands turn with the previewed view, or they would lag the frame's own rotation.
    if (!hands.SetViewCorrection(previewApplied ? &viewCorrection : nullptr)) {
      ProcessTelemetry().mouseAudit.handsCorrectionFail.fetch_add(1);
    }
    const uint32_t handsResult = hands.Apply(drawnIf(kSettingHandsRootInterpolation));
    if (!stoodAside(kSettingHandsRootInterpolation, handsResult, kHandsRootClockUnavailable)) CountHandsRootResult(handsResult);
    if (hands.viewCorrectionPresent() && handsResult == kHandsRootRenderReady) {
      ProcessTelemetry().mouseAudit.handsCorrectionApplied.fetch_add(1);
    }
    CountHandsAttachments(hands.attachmentCounts());
  }
  if (settings.worldRoot) {
    StageScope stage(kStageWorldApply);
    CountWorldApply(ProcessWorldRootInterpolator().Apply(drawnIf(kSettingWorldRootInterpolation)));
  }
  if (settings.handsPose) {
    StageScope stage(kStageHandsPoseApply);
    HandsPoseInterpolator& pose = ProcessHandsPoseInterpolator();
    const uint32_t result = pose.Apply(drawnIf(kSettingHandsPoseInterpolation), ProcessTickSequence().load(), frameTime);
    if (pose.TakeFailedRestore()) CountHandsPoseRestoreFailure();  // a restore left from before
    if (!stoodAside(kSettingHandsPoseInterpolation, result, kHandsPoseClockUnavailable)) CountHandsPoseResult(result);
    if (result == kHandsPoseInvalid) LogHandsPoseDiagnostic(pose);
  }
  if (settings.worldPose) {
    StageScope stage(kStageEnemyPoseApply);
    EnemyPoseCounts poses =
        ProcessEnemyPoseInterpolator().Apply(drawnIf(kSettingWorldPoseInterpolation), ProcessTickSequence().load(), frameTime);
    if (off(kSettingWorldPoseInterpolation)) poses.clockWait = 0;  // every pose stood aside, as StoodAside says
    CountEnemyPose(poses);
  }
  // Emitters building their vertices inside this render draw particles at the frame's fraction.
  ParticleHandOff& particles = ThreadParticleHandOff();
  const ClockSample& forParticles = drawnIf(kSettingParticleInterpolation);
  const bool sampled = forParticles.kind == kSampleInterpolated || forParticles.kind == kSampleClampedOldest ||
                       forParticles.kind == kSampleClampedNewest;
  particles.alphaValid = settings.particles && sampled && std::isfinite(forParticles.alpha) &&
                         forParticles.alpha >= 0.0 && forParticles.alpha <= 1.0;
  particles.alpha = particles.alphaValid ? forParticles.alpha : 0.0;

  apply.End();

  Original<SceneRenderFunction>(kDetourSceneRender)(scene, frameTime, flags);

  StageScope restore(kStageFrameRestore);
  particles.alphaValid = false;

  // Restores run in reverse order of the applies; the camera's is last.
  if (settings.worldPose) CountEnemyPose(ProcessEnemyPoseInterpolator().Restore());
  if (settings.handsPose && !ProcessHandsPoseInterpolator().Restore()) CountHandsPoseRestoreFailure();
  if (settings.worldRoot) CountWorldRenderEnd(ProcessWorldRootInterpolator().Restore());
  if (settings.handsRoot) CountHandsAttachmentRestoreFailures(ProcessHandsRootInterpolator().Restore());
  if (cameraApplied && !ProcessCameraInterpolator().RestoreCamera()) CountCameraRestoreFailure();
  ProcessTelemetry().sceneRender.fetch_add(1);
}

}  // namespace driftglass
