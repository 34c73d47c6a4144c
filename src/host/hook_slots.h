#pragma once

#include <cstdint>

namespace driftglass {

// The engine functions the plug-in may detour, in creation order.
enum DetourStep : uint32_t {
  kDetourEngineRun = 0,
  kDetourRunMessage,
  kDetourSceneRender,
  kDetourHandsPostUpdate,
  kDetourPropOnUpdate,
  kDetourTransformCallback,
  kDetourEnemyOnUpdate,
  kDetourGetModelMatrix,
  kDetourEmitterUpdateGraphics,
  kDetourImageTrailRenderEffect,
  kDetourPlayerAddYaw,
  kDetourPlayerAddPitch,
  kDetourCameraAddPitch,
  kDetourCameraAddYaw,
  kDetourMouseUpdate,
  kDetourMouseGetRelPosition,
  kDetourGuiSendMousePos,
  kDetourUpdateGamePlayerInput,
  kDetourStepCount
};

// One detour's target and the trampoline through which the detour runs the engine's own code.
struct HookSlot {
  uintptr_t target = 0;
  void* trampoline = nullptr;
};

// Process-wide: written by the installer before any detour is enabled, read by the detours.
HookSlot& DetourSlot(uint32_t step);

// Calls the engine's own code of a step with the detour's arguments.
template <typename Function>
Function Original(uint32_t step) {
  return reinterpret_cast<Function>(DetourSlot(step).trampoline);
}

#define DRIFTGLASS_THISCALL __attribute__((thiscall))

}  // namespace driftglass
