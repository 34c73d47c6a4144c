#pragma once
// Detours whose features run the engine's own code unchanged: each calls its trampoline with the
// arguments it received.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

void DRIFTGLASS_THISCALL PlayerAddYawDetour(void* player, float angle);
void DRIFTGLASS_THISCALL PlayerAddPitchDetour(void* player, float angle);
void DRIFTGLASS_THISCALL CameraAddPitchDetour(void* camera, float angle);
void DRIFTGLASS_THISCALL CameraAddYawDetour(void* camera, float angle);
void DRIFTGLASS_THISCALL MouseUpdateDetour(void* mouse);
int32_t* DRIFTGLASS_THISCALL MouseGetRelPositionDetour(void* mouse, int32_t* result);
uint8_t DRIFTGLASS_THISCALL GuiSendMousePosDetour(void* gui, const int32_t* position,
                                                 const int32_t* relative);
void DRIFTGLASS_THISCALL UpdateGamePlayerInputDetour(void* inputHandler);

}  // namespace driftglass
