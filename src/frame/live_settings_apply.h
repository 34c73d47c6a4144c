#pragma once
// Where a change of the INI reaches the game: at a tick boundary on the main thread, before the
// tick is captured, the newest set the settings thread posted is applied all at once, so the next
// frame is the first to see any of it, and sees all of it. Only what changed is touched: the
// limiter keeps its grid and learned margin through a change of anything but its own keys.

#include "shared/compare_switch.h"
#include "shared/live_settings.h"

namespace driftglass {

class PresentationLimiter;
class FrameFractionClock;

// The parts of the frame a set of settings drives; the process's own by default.
struct LiveSettingsTargets {
  PresentationLimiter& limiter;
  FrameFractionClock& fraction;
  CompareSwitch& compare;
  bool& motionTrace;  // the frames publish trace records
  int64_t frequency;
};

// The start's settings, before any detour runs: every target set as they say.
void StartLiveSettings(const LiveSettings& settings, AppliedSettings& applied, const LiveSettingsTargets& targets);
// True when a set was applied.
bool ApplyLiveSettings(LiveSettingsMailbox& mailbox, AppliedSettings& applied, const LiveSettingsTargets& targets);

void StartLiveSettingsNow(const LiveSettings& settings);
bool ApplyLiveSettingsAtTick();

}  // namespace driftglass
