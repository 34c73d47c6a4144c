#include "frame/live_settings_apply.h"

#include "diag/telemetry_counters.h"
#include "frame/presentation_limiter.h"
#include "shared/frame_sequence_settings.h"
#include "timing/presentation_clock.h"
#include "timing/wall_clock.h"

namespace driftglass {

bool ApplyLiveSettings(LiveSettingsMailbox& mailbox, AppliedSettings& applied, const LiveSettingsTargets& targets) {
  LiveSettings s;
  if (!mailbox.Take(s)) return false;
  applied.drawn = s.drawn;
  targets.limiter.Configure(s.limiter, s.targetFps, targets.frequency);
  targets.fraction.SetPhaseDelayPercent(s.phaseDelayPercent);
  CompareSwitch& compare = targets.compare;
  if (compare.virtualKey != s.compareKey) {
    compare.virtualKey = s.compareKey;
    // A new key counts from its next press; with no key at all the corrections come back.
    compare.keyWasDown = true;
    if (s.compareKey == 0) compare.correctionsOff = false;
  }
  targets.motionTrace = s.motionTrace;
  ++applied.generation;
  applied.markNextFrame = true;
  mailbox.MarkApplied();
  return true;
}

bool ApplyLiveSettingsAtTick() {
  AppliedSettings& applied = ProcessAppliedSettings();
  const LiveSettingsTargets targets{ProcessPresentationLimiter(), ProcessFrameFractionClock(),
                                    ProcessCompareSwitch(), ProcessFrameSequenceSettings().motionTrace,
                                    ProcessCounterFrequency()};
  if (!ApplyLiveSettings(ProcessLiveSettingsMailbox(), applied, targets)) return false;
  ProcessTelemetry().settings.generation.store(applied.generation);
  return true;
}

}  // namespace driftglass
