#pragma once
// The props' and enemies' own updates, where each tick's objects are staged: world roots for
// both, ragdoll palettes for props, enemy palettes for enemies.

#include "host/hook_slots.h"

namespace driftglass {

void DRIFTGLASS_THISCALL PropOnUpdateDetour(void* prop, float dt);
void DRIFTGLASS_THISCALL EnemyOnUpdateDetour(void* enemy, float dt);

}  // namespace driftglass
