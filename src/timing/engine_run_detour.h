#pragma once

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

// What the engine-run detour is asked to do, published by the installer before it is enabled.
struct EngineRunSettings {
  bool presentationTimingWanted = false;
  bool renderUnlockWanted = false;
  uintptr_t sdlGetTicks = 0;
};

EngineRunSettings& ProcessEngineRunSettings();

void DRIFTGLASS_THISCALL EngineRunDetour(void* engine);

}  // namespace driftglass
