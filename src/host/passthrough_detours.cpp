#include "host/passthrough_detours.h"

namespace driftglass {
namespace {

template <typename R, typename... A>
R PassThrough(uint32_t step, void* self, A... arguments) {
  return Original<R(DRIFTGLASS_THISCALL*)(void*, A...)>(step)(self, arguments...);
}

}  // namespace

void DRIFTGLASS_THISCALL PlayerAddYawDetour(void* player, float angle) {
  PassThrough<void>(kDetourPlayerAddYaw, player, angle);
}
void DRIFTGLASS_THISCALL PlayerAddPitchDetour(void* player, float angle) {
  PassThrough<void>(kDetourPlayerAddPitch, player, angle);
}
void DRIFTGLASS_THISCALL CameraAddPitchDetour(void* camera, float angle) {
  PassThrough<void>(kDetourCameraAddPitch, camera, angle);
}
void DRIFTGLASS_THISCALL CameraAddYawDetour(void* camera, float angle) {
  PassThrough<void>(kDetourCameraAddYaw, camera, angle);
}
void DRIFTGLASS_THISCALL MouseUpdateDetour(void* mouse) {
  PassThrough<void>(kDetourMouseUpdate, mouse);
}
// The engine returns the pair through a result pointer it also hands back.
int32_t* DRIFTGLASS_THISCALL MouseGetRelPositionDetour(void* mouse, int32_t* result) {
  return PassThrough<int32_t*>(kDetourMouseGetRelPosition, mouse, result);
}
uint8_t DRIFTGLASS_THISCALL GuiSendMousePosDetour(void* gui, const int32_t* position,
                                                 const int32_t* relative) {
  return PassThrough<uint8_t>(kDetourGuiSendMousePos, gui, position, relative);
}
void DRIFTGLASS_THISCALL UpdateGamePlayerInputDetour(void* inputHandler) {
  PassThrough<void>(kDetourUpdateGamePlayerInput, inputHandler);
}

}  // namespace driftglass
