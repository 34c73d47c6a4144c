#include "install/detour_table.h"

#include "effects/effects_detours.h"
#include "frame/engine_run_detour.h"
#include "frame/model_matrix_detour.h"
#include "frame/object_update_detours.h"
#include "frame/tick_frame_sequence.h"
#include "hands/hands_detours.h"
#include "host/engine_mappings.h"
#include "input/mouse_detours.h"
#include "world/world_detours.h"

namespace driftglass {
namespace {

struct StepDefinition {
  uint32_t mapping;
  void* detour;
};

const StepDefinition kSteps[kDetourStepCount] = {
    {kEngineRun, reinterpret_cast<void*>(&EngineRunDetour)},
    {kUpdaterRunMessage, reinterpret_cast<void*>(&RunMessageDetour)},
    {kSceneRender, reinterpret_cast<void*>(&SceneRenderDetour)},
    {kPlayerHandsPostUpdate, reinterpret_cast<void*>(&HandsPostUpdateDetour)},
    {kPropOnUpdate, reinterpret_cast<void*>(&PropOnUpdateDetour)},
    {kPhysicsBodyTransformCallback, reinterpret_cast<void*>(&TransformCallbackDetour)},
    {kEnemyOnUpdate, reinterpret_cast<void*>(&EnemyOnUpdateDetour)},
    {kSubMeshGetModelMatrix, reinterpret_cast<void*>(&GetModelMatrixDetour)},
    {kParticleEmitterUpdateGraphicsForViewport, reinterpret_cast<void*>(&EmitterUpdateGraphicsDetour)},
    {kImageTrailRenderEffect, reinterpret_cast<void*>(&ImageTrailRenderEffectDetour)},
    {kPlayerAddYaw, reinterpret_cast<void*>(&PlayerAddYawDetour)},
    {kPlayerAddPitch, reinterpret_cast<void*>(&PlayerAddPitchDetour)},
    {kCameraAddPitch, reinterpret_cast<void*>(&CameraAddPitchDetour)},
    {kCameraAddYaw, reinterpret_cast<void*>(&CameraAddYawDetour)},
    {kMouseUpdate, reinterpret_cast<void*>(&MouseUpdateDetour)},
    {kMouseGetRelPosition, reinterpret_cast<void*>(&MouseGetRelPositionDetour)},
    {kGuiSendMousePos, reinterpret_cast<void*>(&GuiSendMousePosDetour)},
    {kInputHandlerUpdateGamePlayerInput, reinterpret_cast<void*>(&UpdateGamePlayerInputDetour)},
};

}  // namespace

uint32_t DetourMapping(uint32_t step) { return kSteps[step].mapping; }
void* DetourFunction(uint32_t step) { return kSteps[step].detour; }

}  // namespace driftglass
