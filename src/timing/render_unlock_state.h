#pragma once

#include <atomic>
#include <cstdint>

namespace driftglass {

// Where the engine-run detour stands with the frame-limit flag; shown in every telemetry line.
enum RenderUnlockState : uint32_t {
  kRenderUnlockDisabled = 0,
  kRenderUnlockPending = 1,
  kRenderUnlockActive = 2,
  kRenderUnlockRejected = 3,
  kRenderUnlockFinished = 4,
};

const wchar_t* RenderUnlockStateName(uint32_t state);

// Written by the installer and the engine-run detour, read by the reporter thread.
std::atomic<uint32_t>& ProcessRenderUnlockState();

}  // namespace driftglass
