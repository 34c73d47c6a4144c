#pragma once
// The mouse counts shared between the host's fixed-tick mouse update, the presentation-rate poll,
// the raw-input window procedure and the GUI cursor. Everything crossing threads is atomic.

#include <atomic>
#include <cstdint>

#include "diag/telemetry_counters.h"

namespace driftglass {

struct MouseState {
  // Native counts taken at presentation rate that the host has not received yet.
  AtomicCountPair tickPending;
  // Raw packets not yet returned by a presentation poll.
  AtomicCountPair presentPending;
  // Raw packets since the last fixed update: the part of tickPending SDL2's stock count holds too.
  AtomicCountPair tapSinceUpdate;
  // Stock counts an update deferred; taken by every frame for the motion trace.
  AtomicCountPair traceDeferred;
  std::atomic<void*> lastMouse{nullptr};
  std::atomic<uint32_t> mouseThreadId{0};
  std::atomic<bool> gameplayLive{false};
  std::atomic<uint64_t> gameplayInputTick{0};

  // Published by the installer before the detours are enabled.
  bool mouseOverlay = false;
  uintptr_t sdlGetRelativeMouseState = 0;
  uintptr_t sdlPumpEvents = 0;
  uintptr_t sdlGetRelativeMouseMode = 0;
};

MouseState& ProcessMouseState();

// Live for the tick of the latest smooth-off gameplay pass that read the mouse once and the next.
bool IsPreviewLive(const MouseState& state, uint64_t currentTick);

}  // namespace driftglass
