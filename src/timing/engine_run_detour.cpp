#include "timing/engine_run_detour.h"

namespace driftglass {

EngineRunSettings& ProcessEngineRunSettings() {
  static EngineRunSettings settings;
  return settings;
}

// The engine's whole main loop runs inside this call.
void DRIFTGLASS_THISCALL EngineRunDetour(void* engine) {
  Original<void(DRIFTGLASS_THISCALL*)(void*)>(kDetourEngineRun)(engine);
}

}  // namespace driftglass
