#pragma once

#include <cstdint>

namespace driftglass {

// Fixed order of the host addresses; it is also the order in which they are resolved.
enum EngineMapping : uint32_t {
  kEngineRun = 0,
  kUpdaterRunMessage,
  kSceneRender,
  kCameraSetPosition,
  kCameraSetPitch,
  kCameraSetYaw,
  kCameraSetRoll,
  kCameraAddPitch,
  kCameraAddYaw,
  kPlayerAddYaw,
  kPlayerAddPitch,
  kPlayerHandsPostUpdate,
  kPropOnUpdate,
  kEnemyOnUpdate,
  kEntityGetWorldMatrix,
  kEntityGetEntityParent,
  kPhysicsBodyGetEnabled,
  kPhysicsBodyTransformCallback,
  kNewtonBodyGetUserData,
  kMeshEntityUpdateGraphicsForFrame,
  kParticleEmitterUpdateGraphicsForViewport,
  kImageTrailRenderEffect,
  kSubMeshGetModelMatrix,
  kMouseUpdate,
  kMouseGetRelPosition,
  kGuiSendMousePos,
  kSdlGetRelativeMouseState,
  kSdlPumpEvents,
  kSdlGetTicks,
  kInputHandlerUpdateGamePlayerInput,
  kEngineMappingCount
};

// Written once by the installer on the bootstrap thread, read-only afterwards.
struct EngineMappings {
  uintptr_t address[kEngineMappingCount] = {};
};

// The host's own name of each entry ("cScene::Render", "SDL_GetTicks").
const wchar_t* EngineMappingName(uint32_t index);

}  // namespace driftglass
