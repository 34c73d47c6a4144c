#pragma once
// The physics library's transform callback, which reports every body that moved, on whichever
// physics thread moved it.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

// Published by the installer before the detours are enabled.
struct WorldDetourSettings {
  uintptr_t newtonBodyGetUserData = 0;
};
WorldDetourSettings& ProcessWorldDetourSettings();

void TransformCallbackDetour(void* body, const float* matrix, int32_t threadIndex);

}  // namespace driftglass
