// The engine objects the entry points work on, one of each, in static storage for the life of
// the process, and the rigs set up around them for one run.
#include "game/engine_world.h"

#include <cstring>

#include "camera/camera_rig.h"
#include "effects/effects_rig.h"
#include "files/settings_file_rig.h"
#include "files/write_fault_rig.h"
#include "hands/hands_rig.h"
#include "input/keyboard_user.h"
#include "input/look_rig.h"
#include "input/mouse_rig.h"
#include "scenarios/soak_plan.h"
#include "world/skinned_meshes.h"
#include "world/world_rig.h"

namespace {

constexpr size_t kBlobSize = 0x1000;
struct alignas(16) Blob {
  uint8_t bytes[kBlobSize];
};

cEngine gEngine;
LogicTimer gTimer;
cUpdater gUpdater;
ListNode gUpdateList;
cScene gScene;
RenderList gRenderList;
cCamera gCamera;
cLuxPlayer gPlayer;
cMouseSDL gMouse;
cGui gGui;
GuiWindowState gGuiState;
cLuxInputHandler gInput;
InputFlags gInputFlags;
Blob gActionSet, gMesh;
EngineWorld gWorld;

void SetIdentity(float* matrix) {
  memset(matrix, 0, 16 * sizeof(float));
  matrix[0] = matrix[5] = matrix[10] = matrix[15] = 1.0f;
}

}  // namespace

EngineWorld& World() { return gWorld; }

EngineWorld& CreateEngineWorld(const Scenario& scenario, HostRecord& record) {
  gTimer = LogicTimer{0.0, scenario.logicNumerator, scenario.logicDivisor, 0.0};
  gEngine.mpLogicTimer = &gTimer;
  gEngine.mbLimitFPS = static_cast<uint8_t>(scenario.limitFpsValue);
  gUpdateList.next = gUpdateList.previous = &gUpdateList;
  gUpdater.mpUpdateList = &gUpdateList;
  gRenderList = RenderList{&gMesh, 1};
  gScene.mpRenderList = &gRenderList;
  gCamera.pitchLimits[0] = -kPitchLimit;
  gCamera.pitchLimits[1] = kPitchLimit;
  for (float* matrix : gCamera.cachedMatrices) SetIdentity(matrix);
  gPlayer.mpCamera = &gCamera;
  gPlayer.mbActive = 1;
  gMouse.mbActive = 1;
  gGui.mpState = &gGuiState;
  gGui.mlActiveSets = 0;  // no GUI open
  gInputFlags.enabled = 1;
  gInput.mpActionSet = &gActionSet;
  gInput.mpInputState = &gInputFlags;
  gInput.mbSmoothMouse = scenario.smoothing ? 1 : 0;
  gInput.mbInvertMouseY = scenario.invertY ? 1 : 0;
  gInput.mfMouseSensitivity = static_cast<float>(scenario.sensitivity);

  gWorld = EngineWorld{};
  gWorld.engine = &gEngine;
  gWorld.timer = &gTimer;
  gWorld.updater = &gUpdater;
  gWorld.scene = &gScene;
  gWorld.camera = &gCamera;
  gWorld.player = &gPlayer;
  gWorld.mouse = &gMouse;
  gWorld.input = &gInput;
  Rig().Init(scenario, &gScene, &record);
  Hands().Init(scenario, &record);
  World3D().Init(scenario, &record, scenario.logicNumerator / scenario.logicDivisor / 1000.0);
  Skins().SetJudging(scenario.judgeFrames);
  Effects().Init(scenario, &record);
  Mouse().Init(scenario, &record, MouseObjects{&gMouse, &gGui, &gPlayer, &gInput});
  Look().Init(scenario, &record);
  Keyboard().Init(scenario, &record);
  WriteFaults().Init(scenario, &record);
  SettingsFile().Init(scenario, &record);
  gWorld.scenario = &scenario;
  gWorld.record = &record;
  RecordSoakPlan(scenario, record);
  return gWorld;
}
