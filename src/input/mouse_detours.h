#pragma once
// The engine's mouse, GUI-cursor and gameplay-input functions as the plug-in sees them, and the
// two presentation-rate steps the frame and draw detours run.

#include <cstdint>

#include "host/hook_slots.h"
#include "input/mouse_capture.h"

namespace driftglass {

void DRIFTGLASS_THISCALL MouseUpdateDetour(void* mouse);
// The engine returns the pair through a result pointer it also hands back.
int32_t* DRIFTGLASS_THISCALL MouseGetRelPositionDetour(void* mouse, int32_t* result);
uint8_t DRIFTGLASS_THISCALL GuiSendMousePosDetour(void* gui, const int32_t* position, const int32_t* relative);
void DRIFTGLASS_THISCALL UpdateGamePlayerInputDetour(void* inputHandler);
// The view camera's turns during the gameplay pass, measured after the engine's limits.
void DRIFTGLASS_THISCALL CameraAddPitchDetour(void* camera, float angle);
void DRIFTGLASS_THISCALL CameraAddYawDetour(void* camera, float angle);
// The player's turns, given the angle of the exact count × sensitivity once the unit is known.
void DRIFTGLASS_THISCALL PlayerAddYawDetour(void* player, float angle);
void DRIFTGLASS_THISCALL PlayerAddPitchDetour(void* player, float angle);

// The frame's mouse sample, at the start of every render.
PresentationMotion PollPresentationMotionNow();
// The GUI cursor at presentation rate, on every draw message before the engine's own handling,
// and the game's own position back once the GUI has drawn.
void UpdateGuiCursorNow();
void RestoreGuiCursorNow();

}  // namespace driftglass
