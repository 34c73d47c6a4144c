#include "frame/live_settings_apply.h"

#include "diag/telemetry_counters.h"
#include "frame/presentation_limiter.h"
#include "shared/frame_sequence_settings.h"
#include "timing/presentation_clock.h"
#include "timing/wall_clock.h"

namespace driftglass {
namespace {

void SetCompareKey(CompareSwitch& compare, uint32_t virtualKey) {
  compare.virtualKey = virtualKey;
  // A new key counts from its next press; with no key at all the corrections come back.
  compare.keyWasDown = true;
  if (virtualKey == 0) compare.correctionsOff = false;
}

LiveSettingsTargets ProcessTargets() {
  return LiveSettingsTargets{ProcessPresentationLimiter(), ProcessFrameFractionClock(), ProcessCompareSwitch(),
                             ProcessFrameSequenceSettings().motionTrace, ProcessCounterFrequency()};
}

}  // namespace

void StartLiveSettings(const LiveSettings& s, AppliedSettings& applied, const LiveSettingsTargets& targets) {
  targets.limiter.Configure(s.limiter, s.targetFps, targets.frequency);
  targets.fraction.SetPhaseDelayPercent(s.phaseDelayPercent);
  targets.compare.virtualKey = s.compareKey;
  targets.compare.keyWasDown = false;
  targets.compare.correctionsOff = false;
  targets.motionTrace = s.motionTrace;
  applied.current = s;
  applied.drawn.store(s.drawn);
  applied.generation = 0;
  applied.markNextFrame = false;
}

bool ApplyLiveSettings(LiveSettingsMailbox& mailbox, AppliedSettings& applied, const LiveSettingsTargets& targets) {
  LiveSettings s;
  if (!mailbox.Take(s)) return false;
  const LiveSettings was = applied.current;
  if (s.limiter != was.limiter || s.targetFps != was.targetFps) {
    targets.limiter.Configure(s.limiter, s.targetFps, targets.frequency);
  }
  if (s.phaseDelayPercent != was.phaseDelayPercent) targets.fraction.SetPhaseDelayPercent(s.phaseDelayPercent);
  if (s.compareKey != was.compareKey) SetCompareKey(targets.compare, s.compareKey);
  targets.motionTrace = s.motionTrace;
  applied.current = s;
  applied.drawn.store(s.drawn);
  ++applied.generation;
  applied.markNextFrame = true;
  mailbox.MarkApplied();
  return true;
}

void StartLiveSettingsNow(const LiveSettings& settings) {
  StartLiveSettings(settings, ProcessAppliedSettings(), ProcessTargets());
}

bool ApplyLiveSettingsAtTick() {
  AppliedSettings& applied = ProcessAppliedSettings();
  if (!ApplyLiveSettings(ProcessLiveSettingsMailbox(), applied, ProcessTargets())) return false;
  ProcessTelemetry().settings.generation.store(applied.generation);
  return true;
}

}  // namespace driftglass
