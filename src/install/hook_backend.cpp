#include "install/hook_backend.h"

namespace driftglass {

const HookBackend& DetourEngineBackend() {
  static const HookBackend backend = {&MH_Initialize,   &MH_CreateHook,  &MH_QueueEnableHook,
                                      &MH_ApplyQueued,  &MH_DisableHook, &MH_RemoveHook,
                                      &MH_Uninitialize, &MH_UnsupportedReason};
  return backend;
}

}  // namespace driftglass
