#pragma once

#include "detour.h"

namespace driftglass {

// The detour engine calls the installer makes; tests substitute one that fails at a chosen call.
struct HookBackend {
  MH_STATUS (*initialize)();
  MH_STATUS (*createHook)(void* target, void* detour, void** original);
  MH_STATUS (*queueEnableHook)(void* target);
  MH_STATUS (*applyQueued)();
  MH_STATUS (*disableHook)(void* target);
  MH_STATUS (*removeHook)(void* target);
  MH_STATUS (*uninitialize)();
  const char* (*unsupportedReason)(void* target);  // why createHook refused target, or nullptr
};

const HookBackend& DetourEngineBackend();

}  // namespace driftglass
