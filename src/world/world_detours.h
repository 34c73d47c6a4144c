#pragma once
// The detours through which the world roots see the engine's fixed step: the props' and enemies'
// own updates, where each tick's objects are staged, and the physics library's transform
// callback, which reports every body that moved, on whichever physics thread moved it.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

// Published by the installer before the detours are enabled.
struct WorldDetourSettings {
  uintptr_t newtonBodyGetUserData = 0;
};
WorldDetourSettings& ProcessWorldDetourSettings();

void DRIFTGLASS_THISCALL PropOnUpdateDetour(void* prop, float dt);
void DRIFTGLASS_THISCALL EnemyOnUpdateDetour(void* enemy, float dt);
void TransformCallbackDetour(void* body, const float* matrix, int32_t threadIndex);

}  // namespace driftglass
