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

}  // namespace driftglass
