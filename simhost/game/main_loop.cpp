// The engine's own implementations behind the entry points, and the main loop that
// cEngine::Run runs. Every call between engine objects goes through the entry points, as in the
// real engine, so a detour on any of them sees the traffic it would see in the game.
#include "game/engine_world.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "camera/camera_rig.h"
#include "effects/effects_rig.h"
#include "engine/entry_points.h"
#include "files/settings_file_rig.h"
#include "files/write_fault_rig.h"
#include "game/game_pacing.h"
#include "hands/hands_rig.h"
#include "input/keyboard_user.h"
#include "input/look_rig.h"
#include "input/mouse_rig.h"
#include "record/host_clock.h"
#include "record/host_record.h"
#include "record/process_sampler.h"
#include "scenarios/scenario_events.h"
#include "scenarios/soak_plan.h"
#include "truth/frame_truth.h"
#include "world/skinned_meshes.h"
#include "world/world_rig.h"

#define THISCALL __attribute__((thiscall))

extern "C" {
uint32_t SDL_GetTicks(void);
}

namespace {

constexpr size_t kBlobSize = 0x1000;
struct alignas(16) Blob {
  uint8_t bytes[kBlobSize];
};

// Engine objects, in static storage for the life of the process.
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

// Field access inside the blob objects, at the offsets the engine code uses.
template <typename T>
T& At(Blob& blob, size_t offset) {
  return *reinterpret_cast<T*>(blob.bytes + offset);
}

constexpr size_t kSubMeshNullModel = 0x3F4;
constexpr size_t kSubMeshModelMatrixPointer = 0x3F8;
constexpr size_t kSubMeshModelMatrix = 0x400;

void SetIdentity(float* matrix) {
  memset(matrix, 0, 16 * sizeof(float));
  matrix[0] = matrix[5] = matrix[10] = matrix[15] = 1.0f;
}

// Typed views of the entry points.
template <typename... A>
void CallMember(void (*entry)(), void* self, A... arguments) {
  reinterpret_cast<void(THISCALL*)(void*, A...)>(entry)(self, arguments...);
}

void RunMessage(int message, float dt) {
  CallMember(engine_cUpdater_RunMessage, &gUpdater, message, dt);
}

// One fixed step of game logic: input (gameplay's, or an open GUI's), player, hands, props,
// enemies, physics, camera.
void UpdateGame(float dt) {
  EngineWorld& w = gWorld;
  Rig().Step(w.counts.ticks + 1);  // the camera's logic: where this step puts it
  gPlayer.mpCamera = Rig().PlayerCamera(&gCamera);
  Mouse().StepStart(w.counts.ticks + 1);
  CallMember(engine_cMouseSDL_Update, &gMouse);
  if (!Mouse().GuiOpen()) CallMember(engine_cLuxInputHandler_UpdateGamePlayerInput, &gInput);
  Mouse().GuiStep();
  Rig().TakeLook();
  CallMember(engine_cLuxPlayerHands_PostUpdate, Hands().hands(), dt);
  World3D().Step(w.counts.ticks + 1);  // physics, props, enemies, the transform tree
  Effects().Step(w.counts.ticks + 1, dt);
}

// A long run says how far it got, so a person can tell it from a hung one.
void ReportProgress(double playedSeconds, const Scenario& s, const HostCounts& counts, const HostRecord& record) {
  uint32_t events = 0;
  for (const CameraEvent& e : s.events) events += e.tick <= counts.ticks;
  std::fprintf(stderr, "progress: %g of %g minutes played, %u frames, %u events, %d invariant checks broken\n",
               playedSeconds / 60.0, s.durationSeconds / 60.0, counts.frames, events, record.failures());
  std::fflush(stderr);
}

}  // namespace

uint32_t (*gPluginRegionQueries)() = nullptr;

namespace {
uint32_t RegionQueries() { return gPluginRegionQueries != nullptr ? gPluginRegionQueries() : 0; }
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

extern "C" {

void THISCALL HostEngineRunSetup(cEngine*, int) {}

// cEngine::Run's loop: fixed 60 Hz logic steps on the logic timer, one render per frame.
void HostEngineMainLoop(cEngine* engine) {
  EngineWorld& w = gWorld;
  const Scenario& s = *w.scenario;
  LogicTimer& timer = *engine->mpLogicTimer;
  const double stepMs = timer.stepNumerator / timer.stepDivisor;
  w.loopStartSeconds = HostSeconds();
  Mouse().LoopStarted(w.loopStartSeconds);
  WriteFaults().LoopStarted(w.loopStartSeconds);
  const uint32_t startTicks = SDL_GetTicks();
  // The plug-in reads the tick clock against its wall clock just before this loop starts.
  w.record->Line("loop_start tick_ms=%u wall=%.7f", startTicks, HostSeconds() - w.loopStartSeconds);
  timer.nextDueMs = static_cast<double>(startTicks) + stepMs;
  GamePacing pacing;
  pacing.Start(s, w.loopStartSeconds);
  if (s.processSamples) Sampler().Start(w.loopStartSeconds, &w.counts.ticks, static_cast<uint32_t>(2 * s.durationSeconds) + 600, w.record);
  EventCursor stalls(s, "stall");
  const float dt = static_cast<float>(stepMs / 1000.0);
  FrameTruthClock truthClock(s.phaseDelayPercent / 100.0);
  double lastRenderStart = 0;

  // The game's thread stuck in a burst of input or a stall is not playing time: the loop runs on
  // after it. Nor is a write fault, whose length may be counted in frames.
  double stalledSeconds = 0;
  const auto played = [&] {
    return HostSeconds() - w.loopStartSeconds - Mouse().stalledSeconds() - stalledSeconds -
           WriteFaults().FaultSeconds();
  };
  double nextProgress = s.progressSeconds;
  while (played() < s.durationSeconds) {
    if (s.progressSeconds > 0 && played() >= nextProgress) {
      ReportProgress(nextProgress, s, w.counts, *w.record);
      nextProgress += s.progressSeconds;
    }
    while (stalls.Take(w.counts.ticks) >= 0) {
      // The game hangs (a level load, a hitch) for longer than any frame may take.
      const double start = HostSeconds();
      Sleep(300);
      stalledSeconds += HostSeconds() - start;
    }
    const double nowMs = static_cast<double>(SDL_GetTicks());
    double tickSeconds = 0;
    uint32_t tickQueries = 0;
    for (int steps = 0; nowMs >= timer.nextDueMs && steps < 8; ++steps) {
      RunMessage(1, dt);  // the game's update
      const double tickStart = HostSeconds();
      const uint32_t queriesBefore = RegionQueries();
      RunMessage(6, dt);  // the fixed step is complete
      tickSeconds += HostSeconds() - tickStart;  // the engine's own share is a counter increment
      tickQueries += RegionQueries() - queriesBefore;
      timer.nextDueMs += stepMs;
    }
    const float frameTime = dt;
    const double drawStart = HostSeconds();
    RunMessage(2, frameTime);  // OnDraw: the engine's own handling only counts it
    const double drawSeconds = HostSeconds() - drawStart;
    Rig().BeforeRender(w.counts.ticks);
    const double renderStart = HostSeconds();
    const FrameTruth truth = truthClock.AtRender(renderStart, PreciseTickClockMs(), timer, w.counts.ticks);
    Hands().BeforeRender(truth, w.counts.ticks);
    World3D().BeforeRender(truth, w.counts.ticks);
    Effects().BeforeRender(truth, w.counts.ticks, lastRenderStart > 0 ? renderStart - lastRenderStart : 1.0 / 60.0);
    lastRenderStart = renderStart;
    const double wall = renderStart - w.loopStartSeconds;
    const uint32_t renderQueries = RegionQueries();
    CallMember(engine_cScene_Render, &gScene, frameTime, 0);
    const uint32_t frameQueries = RegionQueries() - renderQueries;
    const double renderSeconds = HostSeconds() - renderStart;
    if (s.judgeFrames) {
      const FrameTruthEnd truthEnd = truthClock.AfterRender(truth, PreciseTickClockMs(), timer, w.counts.ticks);
      w.record->Line("frame_truth_end truth_raw_end=%.6f truth_alpha_end=%.6f expected_ticks_end=%.6f",
                     truthEnd.raw, truthEnd.alpha, truthEnd.expectedTicks);
    }
    Rig().AfterRender();
    Hands().AfterRender();
    World3D().AfterRender();
    Effects().AfterRender();
    RunMessage(3, frameTime);  // OnPostRender
    RunMessage(7, frameTime);  // messages the plug-in does not know pass through
    ++w.counts.frames;
    const DrawnPose& d = Rig().drawn();
    const ViewAngles& view = Rig().view();
    const cCamera& logic = Rig().logicCamera();
    // Nine significant digits give every float back exactly: a judge comparing frame to frame
    // sees the drawn values, not the print's rounding.
    if (s.shortFrameRecord) {
      w.record->Line("frame index=%u wall=%.7f qpc=%.9f ticks=%u limit_fps=%u drawn_x=%.9g drawn_yaw=%.9g "
                     "interpolated=%d render_us=%.2f truth_valid=%d expected_ticks=%.6f drawn_ticks=%.6f %s",
                     w.counts.frames, wall, renderStart, w.counts.ticks, engine->mbLimitFPS, d.x, d.yaw,
                     Rig().pluginWrote() ? 1 : 0, renderSeconds * 1e6, truth.valid ? 1 : 0, truth.expectedTicks,
                     Rig().DrawnSimulationTicks(w.counts.ticks), Keyboard().FrameFields());
    } else {
      w.record->Line("frame index=%u wall=%.7f ticks=%u limit_fps=%u next_due_ms=%.4f tick_ms=%u "
                     "drawn_x=%.9g drawn_y=%.9g drawn_z=%.9g drawn_pitch=%.9g drawn_yaw=%.9g "
                     "drawn_roll=%.9g roll_step=%.9g roll_ticks=%.6f "
                     "logic_x=%.9g logic_yaw=%.9g view_pitch=%.9g view_yaw=%.9g interpolated=%d "
                     "render_us=%.2f own_render_us=%.2f "
                     "truth_valid=%d truth_raw=%.6f truth_phase=%.6f truth_alpha=%.6f "
                     "expected_ticks=%.6f drawn_ticks=%.6f tick_us=%.2f queries_frame=%u "
                     "queries_tick=%u draw_us=%.2f draw_wall=%.7f %s %s %s %s %s",
                     w.counts.frames, wall, w.counts.ticks, engine->mbLimitFPS, timer.nextDueMs,
                     static_cast<unsigned>(nowMs), d.x, d.y, d.z, d.pitch, d.yaw, d.roll, Rig().RollStep(),
                     Rig().DrawnRollTicks(w.counts.ticks), logic.position[0],
                     logic.yaw, view.pitch, view.yaw, Rig().pluginWrote() ? 1 : 0, renderSeconds * 1e6,
                     w.ownRenderSeconds * 1e6,
                     truth.valid ? 1 : 0, truth.raw, truth.phase, truth.alpha, truth.expectedTicks,
                     Rig().DrawnSimulationTicks(w.counts.ticks), tickSeconds * 1e6, frameQueries, tickQueries,
                     drawSeconds * 1e6, w.drawStartSeconds - w.loopStartSeconds, Hands().FrameFields(),
                     World3D().FrameFields(), Effects().FrameFields(), Mouse().FrameFields(wall),
                     Keyboard().FrameFields());
    }
    Sampler().WriteNew();
    Look().AfterFrame(w.counts.frames, w.counts.ticks, Mouse().SendsDone(), Mouse().lastMotionTick());
    Mouse().AfterFrame(w.counts.ticks);
    Keyboard().AfterFrame(w.counts.ticks);
    WriteFaults().AfterFrame(w.counts.ticks, w.counts.frames);
    SettingsFile().AfterFrame(w.counts.ticks, wall);

    if (engine->mbLimitFPS != 0) {
      // Capped: the next frame waits for the next logic step.
      while (static_cast<double>(SDL_GetTicks()) < timer.nextDueMs) {
        Sleep(timer.nextDueMs - static_cast<double>(SDL_GetTicks()) > 2.0 ? 1 : 0);
      }
    } else {
      pacing.AfterFrame(w.counts.ticks);
    }
  }
  Sampler().Finish();
}

void THISCALL HostUpdaterRunMessage(cUpdater*, int message, float dt) {
  EngineWorld& w = gWorld;
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
  const double start = HostSeconds();
  gWorld.drawStartSeconds = start;
  ++gWorld.counts.sceneRender;
  Rig().Draw();
  const DrawnPose& camera = Rig().drawn();
  Hands().Draw(YawTransform{camera.yaw, {camera.x, camera.y, camera.z}});
  World3D().Draw();
  Effects().Draw();
  gWorld.ownRenderSeconds = HostSeconds() - start;
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
  Hands().PostUpdate(gWorld.counts.ticks + 1, camera);
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
  if (At<uint8_t>(*reinterpret_cast<Blob*>(bytes), kSubMeshNullModel) != 0) return nullptr;
  float* named = At<float*>(*reinterpret_cast<Blob*>(bytes), kSubMeshModelMatrixPointer);
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
