#pragma once
// The look taps, which run the engine's own code unchanged until the look preview uses them:
// each calls its trampoline with the arguments it received.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

void DRIFTGLASS_THISCALL PlayerAddYawDetour(void* player, float angle);
void DRIFTGLASS_THISCALL PlayerAddPitchDetour(void* player, float angle);
void DRIFTGLASS_THISCALL CameraAddPitchDetour(void* camera, float angle);
void DRIFTGLASS_THISCALL CameraAddYawDetour(void* camera, float angle);

}  // namespace driftglass
