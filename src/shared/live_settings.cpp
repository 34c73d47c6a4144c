#include "shared/live_settings.h"

namespace driftglass {

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
