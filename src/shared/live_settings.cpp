#include "shared/live_settings.h"

namespace driftglass {
namespace {

constexpr LiveHooks kDrawnHooks = kLiveCamera | kLiveHandsRoot | kLiveHandsPose | kLiveWorldRoot | kLiveWorldPose |
                                  kLiveRagdolls | kLiveParticles | kLiveImageTrail | kLiveLookPreview;

}  // namespace

LiveSettings LiveSettingsOf(const PluginConfig& running, LiveHooks installed) {
  LiveSettings s;
  // The limiter paces only frames this start's render unlock set free.
  s.limiter = running.features.presentationLimiter && (installed & kLivePacing) != 0;
  s.targetFps = running.targetFps;
  s.phaseDelayPercent = running.phaseDelayPercent;
  s.compareKey = (WithSwitchable(installed) & kLiveSwitchable) != 0 ? running.compareKey : 0;
  s.motionTrace = running.motionTrace && (installed & kLiveReporter) != 0;
  for (const SettingDeclaration& d : kSettings) {
    if ((d.live & kDrawnHooks) != 0 && SettingValue(running, d.key) != 0) s.drawn |= SettingBit(d.key);
  }
  return s;
}

void LiveSettingsMailbox::Post(const LiveSettings& settings) {
  buffers_[back_] = settings;
  const uint32_t sequence = posted_.load(std::memory_order_relaxed) + 1;
  sequence_[back_] = sequence;
  back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & 3u;
  posted_.store(sequence, std::memory_order_release);
}

bool LiveSettingsMailbox::Take(LiveSettings& out) {
  if ((middle_.load(std::memory_order_acquire) & kFresh) == 0) return false;
  front_ = middle_.exchange(front_, std::memory_order_acq_rel) & 3u;
  out = buffers_[front_];
  taken_ = sequence_[front_];
  return true;
}

LiveSettingsMailbox& ProcessLiveSettingsMailbox() {
  static LiveSettingsMailbox mailbox;
  return mailbox;
}

AppliedSettings& ProcessAppliedSettings() {
  static AppliedSettings applied;
  return applied;
}

}  // namespace driftglass
