#include "camera/camera_rig.h"

#include <windows.h>

#include <cmath>
#include <cstring>

#include "engine/entry_points.h"
#include "record/host_record.h"
#include "record/logic_digest.h"
#include "scenarios/scenario_events.h"

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr size_t kFlags = 2128;
constexpr float kLeanRoll = 0.35f;  // radians at a lean's deepest

// Each camera on a page of its own in write-watched memory, so the game can tell whether anyone
// wrote it, even with the bytes it already held.
constexpr size_t kPageSize = 4096;
static_assert(sizeof(cCamera) <= kPageSize);
uint8_t* gCameraPages = nullptr;
bool gWriteLog = true;
cCamera& CameraOnPage(int page) { return *reinterpret_cast<cCamera*>(gCameraPages + page * kPageSize); }
cViewport gViewports[2];
uint8_t gWorld[64];
CameraRig gRig;

uint8_t* Bytes(cCamera* camera) { return reinterpret_cast<uint8_t*>(camera); }

void InitCamera(cCamera& camera) {
  camera = cCamera{};
  camera.pitchLimits[0] = -kPitchLimit;
  camera.pitchLimits[1] = kPitchLimit;
  camera.position[1] = 1.5f;
  memset(camera.updateFlags, 1, sizeof(camera.updateFlags));
  RenderCameraCache(Bytes(&camera));
}

float WrapAngle(double angle) {
  double wrapped = std::fmod(angle + kPi, 2.0 * kPi);
  if (wrapped < 0) wrapped += 2.0 * kPi;
  return static_cast<float>(wrapped - kPi);
}

}  // namespace

void RenderCameraCache(uint8_t* bytes) {
  cCamera* camera = reinterpret_cast<cCamera*>(bytes);
  bool raised = false;
  for (uint8_t flag : camera->updateFlags) raised = raised || flag != 0;
  if (!raised) return;
  // The view block holds the pose it was built from, the others values derived from it.
  float* view = camera->cachedMatrices[0];
  const float pose[6] = {camera->position[0], camera->position[1], camera->position[2],
                         camera->pitch, camera->yaw, camera->roll};
  memcpy(view, pose, sizeof(pose));
  view[6] = std::sin(camera->yaw);
  view[7] = std::cos(camera->yaw);
  view[8] = std::sin(camera->pitch);
  view[9] = std::cos(camera->pitch);
  for (int i = 10; i < 16; ++i) view[i] = 1.0f;
  for (int i = 0; i < 16; ++i) {
    camera->cachedMatrices[1][i] = -view[i];
    camera->cachedMatrices[2][i] = view[i] * 0.5f;
  }
  for (size_t i = 0; i < sizeof(camera->cachedBlock); ++i) {
    camera->cachedBlock[i] = reinterpret_cast<const uint8_t*>(view)[i % 64] ^ static_cast<uint8_t>(i);
  }
  memset(camera->updateFlags, 0, sizeof(camera->updateFlags));
}

CameraRig& Rig() { return gRig; }

cCamera* CameraRig::Current() const {
  const cViewport* viewport = static_cast<const cViewport*>(scene_->mpListenerViewport);
  return viewport->mpCamera;
}

void CameraRig::Init(const Scenario& scenario, cScene* scene, HostRecord* record) {
  scenario_ = &scenario;
  scene_ = scene;
  record_ = record;
  if (gCameraPages == nullptr) {
    // The first write to a watched page costs a fault, which benchmarks would count against the
    // plug-in; they turn the log off and fall back to comparing bytes.
    gWriteLog = scenario.cameraWriteLog;
    gCameraPages = static_cast<uint8_t*>(VirtualAlloc(
        nullptr, 2 * kPageSize, MEM_RESERVE | MEM_COMMIT | (gWriteLog ? MEM_WRITE_WATCH : 0),
        PAGE_READWRITE));
  }
  for (int i = 0; i < 2; ++i) {
    InitCamera(CameraOnPage(i));
    if (scenario.cameraMotion == CameraMotion::kPitch) {
      CameraOnPage(i).pitchLimits[0] = CameraOnPage(i).pitchLimits[1] = 0.0f;
    }
  }
  for (int i = 0; i < 2; ++i) {
    gViewports[i] = cViewport{};
    gViewports[i].mpCamera = &CameraOnPage(0);
    gViewports[i].mpWorld = gWorld;
    gViewports[i].mbVisible = 1;
  }
  scene_->mpListenerViewport = &gViewports[0];
  expectedValid_ = false;
  drewView_ = false;
  view_ = ViewAngles{};
  offsetX_ = 0.0f;
  betweenMoves_ = EventCursor(scenario, "between_move");
  leans_ = EventCursor(scenario, "lean");
  for (Lean& lean : leaning_) lean = Lean{};
  rollTurned_ = 0.0f;
  tickRolls_[0] = tickRolls_[1] = 0.0f;
  stepPending_ = false;
}

void CameraRig::Check(const char* name, bool ok, const char* detail) {
  ++checks_;
  record_->Checked(name, ok, detail);
}

// A lean arches out and back over its event; a roll turn adds turn_rate while it lasts.
float CameraRig::RollAt(uint32_t tick) {
  for (int index = leans_.Take(tick); index >= 0; index = leans_.Take(tick)) {
    const CameraEvent& event = scenario_->events[static_cast<size_t>(index)];
    for (Lean& lean : leaning_) {
      if (lean.duration != 0) continue;
      lean = Lean{event.tick, event.duration < 2 ? 2 : event.duration};
      break;
    }
  }
  if (EventActive(*scenario_, "roll_turn", tick)) {
    rollTurned_ = WrapAngle(rollTurned_ + scenario_->turnRate / 60.0);
  }
  double roll = rollTurned_;
  for (Lean& lean : leaning_) {
    if (lean.duration == 0) continue;
    if (tick >= lean.tick + lean.duration) {
      lean = Lean{};
      continue;
    }
    roll += kLeanRoll * std::sin(kPi * static_cast<double>(tick - lean.tick) / lean.duration);
  }
  return WrapAngle(roll);
}

void CameraRig::SetPose(cCamera* camera, const float position[3], float pitch, float yaw, float roll) {
  using SetVector = void(THISCALL*)(void*, const float*);
  using SetFloat = void(THISCALL*)(void*, float);
  reinterpret_cast<SetVector>(engine_cCamera_SetPosition)(camera, position);
  reinterpret_cast<SetFloat>(engine_cCamera_SetPitch)(camera, pitch);
  reinterpret_cast<SetFloat>(engine_cCamera_SetYaw)(camera, yaw);
  reinterpret_cast<SetFloat>(engine_cCamera_SetRoll)(camera, roll);
}

// The switches happen at their ticks; the states last while their events do, on whichever
// viewport and camera are the view's then (the others are as the game left them).
void CameraRig::ApplyEvents(uint32_t tick) {
  const Scenario& s = *scenario_;
  cViewport* viewport = static_cast<cViewport*>(scene_->mpListenerViewport);
  offsetX_ += 10.0f * static_cast<float>(EventsStartingAt(s, "teleport", tick));
  for (uint32_t n = EventsStartingAt(s, "switch_camera", tick); n > 0; --n) {
    cCamera* camera = viewport->mpCamera;
    cCamera* other = camera == &CameraOnPage(0) ? &CameraOnPage(1) : &CameraOnPage(0);
    memcpy(other, camera, sizeof(cCamera));
    viewport->mpCamera = other;
  }
  for (uint32_t n = EventsStartingAt(s, "switch_viewport", tick); n > 0; --n) {
    cViewport* other = viewport == &gViewports[0] ? &gViewports[1] : &gViewports[0];
    other->mpCamera = viewport->mpCamera;
    viewport->mbVisible = 1;
    scene_->mpListenerViewport = other;
    viewport = other;
  }
  viewport->mbVisible = EventActive(s, "hide", tick) ? 0 : EventActive(s, "visibility2", tick) ? 2 : 1;
  cCamera* camera = viewport->mpCamera;
  camera->mustBeZero = EventActive(s, "offset68", tick) ? 1 : 0;
  camera->yawLimits[1] = EventActive(s, "limit1500", tick) ? 1500.0f : 0.0f;
}

void CameraRig::Step(uint32_t tick) {
  cCamera* camera = Current();
  if (expectedValid_) {
    Check("logic-sees-its-own-camera", memcmp(Bytes(camera), expected_, kCameraCheckedBytes) == 0,
          "the camera at a step's start is what the previous step and the game's renders left");
  }
  ApplyEvents(tick);
  camera = Current();
  const double seconds = static_cast<double>(tick) / 60.0;
  float position[3] = {offsetX_, 1.5f, 0.0f};
  float pitch = 0.0f;
  float yaw = 0.0f;
  switch (scenario_->cameraMotion) {
    case CameraMotion::kLinear:
      position[0] = static_cast<float>(scenario_->cameraSpeed * seconds) + offsetX_;
      break;
    case CameraMotion::kTurn:
      yaw = WrapAngle(scenario_->turnRate * seconds);
      break;
    case CameraMotion::kPitch:
      pitch = kPi / 2.0f;
      yaw = WrapAngle(scenario_->turnRate * seconds);
      break;
    case CameraMotion::kWalkTurn:
      position[0] = static_cast<float>(scenario_->cameraSpeed * seconds) + offsetX_;
      yaw = WrapAngle(scenario_->turnRate * seconds);
      break;
    case CameraMotion::kMouse:
      position[0] = static_cast<float>(scenario_->cameraSpeed * seconds) + offsetX_;
      pitch = camera->pitch;  // until the gameplay pass turns the view
      yaw = camera->yaw;
      memcpy(heldBack_, Bytes(camera), kCameraCheckedBytes);
      break;
  }
  memcpy(stepPose_.position, position, sizeof(position));
  stepPose_.pitch = pitch;
  stepPose_.yaw = yaw;
  stepPose_.roll = RollAt(tick);
  stepPending_ = true;
}

void CameraRig::DigestLogic(LogicDigest& d) const {
  const cCamera& camera = *Current();
  d.Add(kLogicCamera, "position", camera.position, sizeof(camera.position));
  d.Value(kLogicCamera, "roll", camera.roll);
  d.Add(kLogicCamera, "pitch_limits", camera.pitchLimits, sizeof(camera.pitchLimits));
  d.Add(kLogicCamera, "yaw_limits", camera.yawLimits, sizeof(camera.yawLimits));
  d.Value(kLogicCamera, "offset68", camera.mustBeZero);
  d.Value(kLogicAngles, "view_pitch", camera.pitch);
  d.Value(kLogicAngles, "view_yaw", camera.yaw);
  const cViewport* viewport = static_cast<const cViewport*>(scene_->mpListenerViewport);
  d.Value(kLogicCamera, "viewport", static_cast<uint32_t>(viewport - gViewports));
  d.Value(kLogicCamera, "camera", static_cast<uint32_t>(viewport->mpCamera == &CameraOnPage(1)));
  d.Value(kLogicCamera, "visible", viewport->mbVisible);
  d.Value(kLogicCamera, "teleport_offset", offsetX_);
  d.Value(kLogicCamera, "roll_turned", rollTurned_);
  for (const Lean& lean : leaning_) {
    d.Value(kLogicCamera, "leans", lean.tick);
    d.Value(kLogicCamera, "leans", lean.duration);
  }
}

cCamera* CameraRig::PlayerCamera(cCamera* own) const {
  return scenario_->cameraMotion == CameraMotion::kMouse ? Current() : own;
}

// The pass turned the view's own camera through the engine's functions, as the game's player
// does; holding the turn back until the step ends keeps the rule that state read before then is
// the previous step's.
void CameraRig::TakeLook() {
  if (!stepPending_ || scenario_->cameraMotion != CameraMotion::kMouse) return;
  cCamera* camera = Current();
  stepPose_.pitch = camera->pitch;
  stepPose_.yaw = camera->yaw;
  memcpy(Bytes(camera), heldBack_, kCameraCheckedBytes);
}

void CameraRig::FinishStep() {
  if (!stepPending_) return;
  stepPending_ = false;
  cCamera* camera = Current();
  SetPose(camera, stepPose_.position, stepPose_.pitch, stepPose_.yaw, stepPose_.roll);
  view_ = ViewAngles{camera->pitch, camera->yaw};
  tickRolls_[0] = tickRolls_[1];
  tickRolls_[1] = camera->roll;
  memcpy(expected_, Bytes(camera), kCameraCheckedBytes);
  expectedValid_ = true;
}

bool CameraRig::CameraPageWritten() const {
  if (!gWriteLog) return memcmp(renderedCamera_, beforeRender_, kCameraCheckedBytes) != 0;
  void* written[2];
  ULONG_PTR count = 2;
  DWORD granularity = 0;
  if (GetWriteWatch(0, gCameraPages, 2 * kPageSize, written, &count, &granularity) != 0) return true;
  for (ULONG_PTR i = 0; i < count; ++i) {
    if (written[i] == renderedCamera_) return true;
  }
  return false;
}

double CameraRig::DrawnSimulationTicks(uint32_t completedTicks) const {
  if (scenario_->cameraMotion == CameraMotion::kLinear || scenario_->cameraMotion == CameraMotion::kMouse) {
    const double perTick = scenario_->cameraSpeed / 60.0;
    return completedTicks + (drawn_.x - logicBeforeRender_.x) / perTick;
  }
  const double perTick = scenario_->turnRate / 60.0;
  return completedTicks + WrapAngle(drawn_.yaw - logicBeforeRender_.yaw) / perTick;
}

float CameraRig::RollStep() const { return WrapAngle(tickRolls_[1] - tickRolls_[0]); }

double CameraRig::DrawnRollTicks(uint32_t completedTicks) const {
  const float step = RollStep();
  if (step == 0.0f) return completedTicks;
  return completedTicks - 1.0 + WrapAngle(drawn_.roll - tickRolls_[0]) / step;
}

void CameraRig::BeforeRender(uint32_t completedTicks) {
  cCamera* camera = Current();
  // The game itself moves the camera outside a logic step, once per event, at the first render
  // after the event's tick (a late frame may come several ticks on).
  while (expectedValid_ && betweenMoves_.Take(completedTicks) >= 0) {
    camera->position[2] += 0.25f;
    memset(camera->updateFlags, 1, sizeof(camera->updateFlags));
    memcpy(expected_, Bytes(camera), kCameraCheckedBytes);
  }
  renderedCamera_ = camera;
  memcpy(beforeRender_, Bytes(camera), kCameraCheckedBytes);
  logicBeforeRender_ = DrawnPose{camera->position[0], camera->position[1], camera->position[2],
                                 camera->pitch,       camera->yaw,         camera->roll};
  if (gWriteLog) ResetWriteWatch(gCameraPages, 2 * kPageSize);
}

void CameraRig::Draw() {
  cCamera* camera = renderedCamera_;
  pluginWrote_ = CameraPageWritten();
  if (scenario_->judgeFrames) {
    Check("unlogged-camera-write",
          pluginWrote_ || memcmp(Bytes(camera), beforeRender_, kCameraCheckedBytes) == 0,
          "the camera's bytes changed before the render with no write logged");
  }
  const cViewport* viewport = static_cast<const cViewport*>(scene_->mpListenerViewport);
  drewView_ = viewport->mbVisible != 0;
  if (!drewView_) return;  // nothing drawn from a hidden view
  RenderCameraCache(Bytes(camera));
  const float* view = camera->cachedMatrices[0];
  drawn_ = DrawnPose{view[0], view[1], view[2], view[3], view[4], view[5]};
}

void CameraRig::AfterRender() {
  uint8_t* camera = Bytes(renderedCamera_);
  const bool judge = scenario_->judgeFrames;
  if (pluginWrote_) {
    if (judge) {
      Check("render-writes-restored", memcmp(camera, beforeRender_, kCameraCheckedBytes) == 0,
            "after an interpolated render the camera's bytes 0 to 2132 are back");
    }
  } else {
    uint8_t own[kCameraCheckedBytes];
    memcpy(own, beforeRender_, sizeof(own));
    const cViewport* viewport = static_cast<const cViewport*>(scene_->mpListenerViewport);
    if (viewport->mbVisible != 0) RenderCameraCache(own);
    // Compared bytes cannot tell a plug-in's write of the bytes already there (a camera at rest)
    // from no write: that render comes back restored instead.
    if (!gWriteLog && memcmp(camera, own, kCameraCheckedBytes) != 0 &&
        memcmp(camera, beforeRender_, kCameraCheckedBytes) == 0) {
      pluginWrote_ = true;
    } else if (judge) {
      Check("render-left-own-state", memcmp(camera, own, kCameraCheckedBytes) == 0,
            "after a stock render the camera holds exactly what the game's render made of it");
    }
  }
  // A stock render changes the logic's camera the way the game's renderer does; an interpolated
  // one must leave it exactly as it was.
  if (!pluginWrote_ && reinterpret_cast<const cViewport*>(scene_->mpListenerViewport)->mbVisible != 0) {
    RenderCameraCache(expected_);
  }
}
