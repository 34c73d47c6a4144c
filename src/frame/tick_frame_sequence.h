#pragma once

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

// cUpdater::RunMessage: counts draws and post-renders, numbers each completed fixed tick.
void DRIFTGLASS_THISCALL RunMessageDetour(void* updater, int32_t message, float dt);
// cScene::Render: times the frame, publishes its trace record, counts it.
void DRIFTGLASS_THISCALL SceneRenderDetour(void* scene, float frameTime, uint32_t flags);

enum EngineMessage : int32_t {
  kMessageOnDraw = 2,
  kMessageOnPostRender = 3,
  kMessageFixedStepDone = 6,
};

}  // namespace driftglass
