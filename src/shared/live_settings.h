#pragma once
// The settings a player may change while the game runs, from the INI's settings thread to the
// game's main thread. The main thread takes a new set at a tick boundary and applies all of it at
// once, so no frame sees half of a change; a set posted before the last was taken replaces it.

#include <atomic>
#include <cstdint>

namespace driftglass {

// Each drawn correction, on as the INI asks; one that is off stands aside as for the compare key
// (its capture goes on, so it resumes from its histories when it comes back).
struct DrawnCorrections {
  bool camera = true;
  bool handsRoot = true;
  bool handsPose = true;
  bool worldRoot = true;
  bool worldPose = true;
  bool ragdollPose = true;
  bool particles = true;
  bool imageTrail = true;
  bool lookPreview = true;
};

struct LiveSettings {
  bool limiter = false;  // only where the render unlock is active
  uint32_t targetFps = 0;
  uint32_t phaseDelayPercent = 0;
  uint32_t compareKey = 0;
  bool motionTrace = false;
  DrawnCorrections drawn;
};

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
  DrawnCorrections drawn;
  uint32_t generation = 0;
  bool markNextFrame = false;  // the first frame after a change is marked in the motion trace
};

LiveSettingsMailbox& ProcessLiveSettingsMailbox();
AppliedSettings& ProcessAppliedSettings();

}  // namespace driftglass
