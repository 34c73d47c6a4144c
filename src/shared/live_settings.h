#pragma once
// The settings a player may change while the game runs, from the INI's settings thread to the
// game's main thread. The main thread takes a new set at a tick boundary and applies all of it at
// once, so no frame sees half of a change; a set posted before the last was taken replaces it.

#include <atomic>
#include <cstdint>

#include "config/plugin_config.h"

namespace driftglass {

struct LiveSettings {
  bool limiter = false;  // only where the render unlock is active
  uint32_t targetFps = 0;
  uint32_t phaseDelayPercent = 0;
  uint32_t compareKey = 0;  // 0: none, or nothing installed for it to switch
  bool motionTrace = false;
  // The drawn corrections the INI has on, by their keys; one that is off stands aside as for the
  // compare key (its capture goes on, so it resumes from its histories when it comes back).
  SettingKeys drawn = 0;
  bool operator==(const LiveSettings&) const = default;
};

// What the frames run with for the settings in force, given what the start installed.
LiveSettings LiveSettingsOf(const PluginConfig& running, LiveHooks installed);

// One writer (the settings thread), one reader (the main thread), neither ever waits: three
// buffers, the writer filling one, the reader reading another, the third passed between them.
class LiveSettingsMailbox {
 public:
  void Post(const LiveSettings& settings);
  // The newest set posted since the last take, if any.
  bool Take(LiveSettings& out);
  // How many sets were posted, and how many of those the reader has taken and applied.
  uint32_t posted() const { return posted_.load(std::memory_order_acquire); }
  uint32_t applied() const { return applied_.load(std::memory_order_acquire); }
  // The reader, once it has applied what it took.
  void MarkApplied() { applied_.store(taken_, std::memory_order_release); }

 private:
  static constexpr uint32_t kFresh = 4;  // beside a buffer index: not yet taken
  LiveSettings buffers_[3];
  uint32_t back_ = 0;   // writer's
  uint32_t front_ = 1;  // reader's
  std::atomic<uint32_t> middle_{2};
  std::atomic<uint32_t> posted_{0};
  std::atomic<uint32_t> applied_{0};
  uint32_t sequence_[3] = {};  // which post each buffer holds
  uint32_t taken_ = 0;
};

// What the main thread runs with, and how many changes it has applied (the settings' generation).
struct AppliedSettings {
  LiveSettings current;  // the main thread's
  // current.drawn for the detours the engine may call from other threads.
  std::atomic<SettingKeys> drawn{0};
  uint32_t generation = 0;
  bool markNextFrame = false;  // the first frame after a change is marked in the motion trace

  bool Drawn(SettingKey key) const { return (drawn.load(std::memory_order_relaxed) & SettingBit(key)) != 0; }
};

LiveSettingsMailbox& ProcessLiveSettingsMailbox();
AppliedSettings& ProcessAppliedSettings();

}  // namespace driftglass
