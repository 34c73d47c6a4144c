// The engine's own work behind the entry points: what each engine function does once the
// signature bytes have run. Every call between engine objects goes through the entry points, as in
// the real engine, so a detour on any of them sees the traffic it would see in the game.
#include <cstring>

#include "camera/camera_rig.h"
#include "effects/effects_rig.h"
#include "engine/entry_points.h"
#include "game/engine_world.h"
#include "hands/hands_rig.h"
#include "input/look_rig.h"
#include "input/mouse_rig.h"
#include "record/host_clock.h"
#include "truth/yaw_transform.h"
#include "world/skinned_meshes.h"
#include "world/world_rig.h"

namespace {

constexpr size_t kSubMeshNullModel = 0x3F4;
constexpr size_t kSubMeshModelMatrixPointer = 0x3F8;
constexpr size_t kSubMeshModelMatrix = 0x400;

// Field access inside an engine object, at the offsets the engine code uses.
template <typename T>
T& At(uint8_t* object, size_t offset) {
  return *reinterpret_cast<T*>(object + offset);
}

// One fixed step of game logic: input (gameplay's, or an open GUI's), player, hands, props,
// enemies, physics, camera.
void UpdateGame(float dt) {
  EngineWorld& w = World();
  Rig().Step(w.counts.ticks + 1);  // the camera's logic: where this step puts it
  w.player->mpCamera = Rig().PlayerCamera(w.camera);
  Mouse().StepStart(w.counts.ticks + 1);
  CallMember(engine_cMouseSDL_Update, w.mouse);
  if (!Mouse().GuiOpen()) CallMember(engine_cLuxInputHandler_UpdateGamePlayerInput, w.input);
  Mouse().GuiStep();
  Rig().TakeLook();
  CallMember(engine_cLuxPlayerHands_PostUpdate, Hands().hands(), dt);
  World3D().Step(w.counts.ticks + 1);  // physics, props, enemies, the transform tree
  Effects().Step(w.counts.ticks + 1, dt);
}

}  // namespace

extern "C" {

void THISCALL HostUpdaterRunMessage(cUpdater*, int message, float dt) {
  EngineWorld& w = World();
  switch (message) {
    case 1:
      UpdateGame(dt);
      break;
    case 2:
      ++w.counts.onDraw;
      Mouse().DrawGui();  // the GUI draws its software cursor here
      break;
    case 3:
      ++w.counts.onPostRender;
      break;
    case 6:
      Rig().FinishStep();  // the step's camera pose becomes final only here
      ++w.counts.ticks;
      break;
    default:
      ++w.counts.otherMessages;
      break;
  }
}

// The renderer: asks every drawable for what it draws this frame.
void THISCALL HostSceneRender(cScene*, float, int) {
  EngineWorld& w = World();
  const double start = HostSeconds();
  w.drawStartSeconds = start;
  ++w.counts.sceneRender;
  Rig().Draw();
  const DrawnPose& camera = Rig().drawn();
  Hands().Draw(YawTransform{camera.yaw, {camera.x, camera.y, camera.z}});
  World3D().Draw();
  Effects().Draw();
  w.ownRenderSeconds = HostSeconds() - start;
}

// A changed camera raises its update flags so the renderer rebuilds its cached view.
static void MarkDirty(cCamera* camera) {
  camera->updateFlags[1] = camera->updateFlags[3] = camera->updateFlags[4] = 1;
}
void THISCALL HostCameraSetPosition(cCamera* camera, const float* position) {
  memcpy(camera->position, position, sizeof(camera->position));
  MarkDirty(camera);
}

// The camera keeps its angles within its own limits (no limit when both are zero).
static float Clamp(float value, const float* limits) {
  if (limits[0] == 0.0f && limits[1] == 0.0f) return value;
  return value < limits[0] ? limits[0] : (value > limits[1] ? limits[1] : value);
}
void THISCALL HostCameraSetPitch(cCamera* camera, float pitch) {
  camera->pitch = Clamp(pitch, camera->pitchLimits);
  MarkDirty(camera);
}
void THISCALL HostCameraSetYaw(cCamera* camera, float yaw) {
  camera->yaw = Clamp(yaw, camera->yawLimits);
  MarkDirty(camera);
}
void THISCALL HostCameraSetRoll(cCamera* camera, float roll) {
  camera->roll = roll;
  MarkDirty(camera);
}

// The engine's bytes of cLuxPlayer::AddYaw have turned the camera already.
void THISCALL HostPlayerAddYaw(cLuxPlayer* player, float amount) { Look().PlayerReceived(player, amount, false); }
void THISCALL HostPlayerAddPitch(cLuxPlayer* player, float amount) {
  Look().PlayerReceived(player, amount, true);
  CallMember(engine_cCamera_AddPitch, player->mpCamera, amount);
}
void THISCALL HostHandsPostUpdate(void* hands, float) {
  if (hands != Hands().hands()) return;
  YawTransform camera;
  Rig().StepPose(camera.t, camera.yaw);
  Hands().PostUpdate(World().counts.ticks + 1, camera);
}
void THISCALL HostPropEntityUpdate(void*, float) {}
void THISCALL HostPropOnUpdate(void* prop, float) { World3D().PropOnUpdate(prop); }
void THISCALL HostEnemyOnUpdate(void* enemy, float dt) { World3D().EnemyOnUpdate(enemy, dt); }
void THISCALL HostEntityUpdateWorldMatrix(void*) {}
void THISCALL HostBodySetMatrix(float* matrixBlock, const float* matrix) {
  memcpy(matrixBlock, matrix, 16 * sizeof(float));
}
void THISCALL HostBodyTransformChanged(void* body, int) { World3D().BodyTransformChanged(body); }
void THISCALL HostMeshUpdateGraphicsForFrame(void* mesh, float) {
  if (!Skins().UpdateGraphicsForFrame(mesh)) Hands().UpdateGraphicsForFrame(mesh);
}
uint8_t THISCALL HostEmitterUpdateGraphicsForViewport(void* emitter, void*, float) {
  return Effects().EmitterUpdateGraphics(emitter);
}
uint32_t THISCALL HostImageTrailRenderEffect(void* effect, void*, void*) {
  return Effects().ImageTrailRenderEffect(effect);
}
void THISCALL HostSubMeshUpdateModelMatrix(void*, int) {}
// A sub-mesh's model matrix is its own block, or the entity cache it names, or none at all.
float* THISCALL HostSubMeshGetModelMatrix(void* submesh, void*) {
  uint8_t* bytes = static_cast<uint8_t*>(submesh);
  if (At<uint8_t>(bytes, kSubMeshNullModel) != 0) return nullptr;
  float* named = At<float*>(bytes, kSubMeshModelMatrixPointer);
  return named != nullptr ? named : reinterpret_cast<float*>(bytes + kSubMeshModelMatrix);
}
void THISCALL HostMouseUpdate(cMouseSDL*) {}
uint8_t THISCALL HostGuiSendMousePos(cGui* gui, const int32_t* position, const int32_t* relative) {
  return Mouse().GuiSendMousePos(gui, position, relative);
}
uint8_t THISCALL HostInputIsEnabled(InputFlags* flags) { return flags->enabled; }
uint8_t THISCALL HostInputActionPressed(void*, int) { return 0; }

// Mouse motion becomes player turns: the player asks its camera to turn.
void THISCALL HostInputUpdateGamePlayerInput(cLuxInputHandler*) { Mouse().GameplayInput(); }

}  // extern "C"
