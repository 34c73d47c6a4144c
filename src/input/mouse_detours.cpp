#include "input/mouse_detours.h"

#include <windows.h>

#include "input/gameplay_input_pass.h"
#include "input/gui_cursor.h"
#include "input/look_command.h"
#include "input/player_dequantize.h"
#include "measure/stage_meter.h"
#include "timing/tick_sequence.h"

namespace driftglass {
namespace {

using MouseUpdateFunction = void(DRIFTGLASS_THISCALL*)(void*);
using GetRelPositionFunction = int32_t*(DRIFTGLASS_THISCALL*)(void*, int32_t*);
using InputPassFunction = void(DRIFTGLASS_THISCALL*)(void*);

MouseAudit& Audit() { return ProcessTelemetry().mouseAudit; }
using AngleFunction = void(DRIFTGLASS_THISCALL*)(void*, float);

constexpr size_t kCameraPitchOffset = 40;
constexpr size_t kCameraYawOffset = 44;

float CameraAngle(const void* camera, size_t offset) {
  return *reinterpret_cast<const float*>(static_cast<const uint8_t*>(camera) + offset);
}

void CameraTurn(uint32_t step, void* camera, float angle, bool pitch) {
  const auto original = Original<AngleFunction>(step);
  if (camera == nullptr) {
    original(camera, angle);
    return;
  }
  const size_t offset = pitch ? kCameraPitchOffset : kCameraYawOffset;
  const float before = CameraAngle(camera, offset);
  original(camera, angle);
  AddCameraRotation(ThreadGameplayInputFrame(), Audit(), camera, CameraAngle(camera, offset) - before, pitch);
}

void PlayerTurn(uint32_t step, void* player, float angle, bool pitch) {
  GameplayInputFrame& frame = ThreadGameplayInputFrame();
  float replaced = angle;
  const bool ok = DequantizePlayerAngle(frame, ProcessLearnedUnit(), Audit(), angle, pitch ? frame.lastY : frame.lastX,
                                        pitch, replaced);
  (pitch ? frame.pitchDequantized : frame.yawDequantized) = ok;
  Original<AngleFunction>(step)(player, replaced);
}

// SDL2's own share of the poll, on its own line of the measurement build's stage table.
void PumpSdlEvents() {
  StageScope stage(kStageSdlPump);
  HostCallScope call;
  reinterpret_cast<void (*)()>(ProcessMouseState().sdlPumpEvents)();
}

}  // namespace

void DRIFTGLASS_THISCALL MouseUpdateDetour(void* mouse) {
  const auto original = Original<MouseUpdateFunction>(kDetourMouseUpdate);
  if (mouse == nullptr) {
    original(mouse);
    return;
  }
  HostMouseCounts& counts = *MouseCountsOf(mouse);
  CountUnconsumedMotion(counts, Audit());
  original(mouse);
  StageScope stage(kStageInputDetours);
  MouseState& state = ProcessMouseState();
  state.lastMouse.store(mouse);
  state.mouseThreadId.store(GetCurrentThreadId());
  InstallRawTap();
  RetireMouseCounts(state, ProcessRawTap(), Audit(), counts, ProcessTickSequence().load());
}

int32_t* DRIFTGLASS_THISCALL MouseGetRelPositionDetour(void* mouse, int32_t* result) {
  int32_t* const returned = Original<GetRelPositionFunction>(kDetourMouseGetRelPosition)(mouse, result);
  StageScope stage(kStageInputDetours);
  CountMouseRead(ThreadGameplayInputFrame(), Audit(), result, returned);
  return returned;
}

uint8_t DRIFTGLASS_THISCALL GuiSendMousePosDetour(void* gui, const int32_t* position, const int32_t* relative) {
  return StockGuiUpdate(ProcessGuiCursor(), ProcessMouseState(), Audit(), gui, position, relative,
                        ProcessTickSequence().load(), Original<GuiSendMousePosFunction>(kDetourGuiSendMousePos));
}

void DRIFTGLASS_THISCALL UpdateGamePlayerInputDetour(void* inputHandler) {
  const auto original = Original<InputPassFunction>(kDetourUpdateGamePlayerInput);
  MouseAudit& audit = Audit();
  audit.playerCalls.fetch_add(1);
  if (inputHandler == nullptr) {
    audit.invalid.fetch_add(1);
    original(inputHandler);
    return;
  }
  StageScope before(kStageInputDetours);
  const InputHandlerSettings settings = ReadInputHandlerSettings(inputHandler);
  GameplayInputFrame& frame = ThreadGameplayInputFrame();
  MouseState& state = ProcessMouseState();
  BeginGameplayInput(frame, state, audit, settings);
  before.End();
  original(inputHandler);
  StageScope after(kStageInputDetours);
  const uint64_t tick = ProcessTickSequence().load();
  if (EndGameplayInput(frame, state, audit, settings, tick)) {
    CaptureAngularCommand(ProcessLookState(), frame, audit, tick, settings.sensitivity, settings.invertY != 0);
  }
}

void DRIFTGLASS_THISCALL CameraAddPitchDetour(void* camera, float angle) {
  CameraTurn(kDetourCameraAddPitch, camera, angle, true);
}
void DRIFTGLASS_THISCALL CameraAddYawDetour(void* camera, float angle) {
  CameraTurn(kDetourCameraAddYaw, camera, angle, false);
}
void DRIFTGLASS_THISCALL PlayerAddYawDetour(void* player, float angle) {
  PlayerTurn(kDetourPlayerAddYaw, player, angle, false);
}
void DRIFTGLASS_THISCALL PlayerAddPitchDetour(void* player, float angle) {
  PlayerTurn(kDetourPlayerAddPitch, player, angle, true);
}

PresentationMotion PollPresentationMotionNow() {
  StageScope stage(kStageMousePoll);
  MouseState& state = ProcessMouseState();
  PollActions actions;
  actions.drainRawInput = &DrainRawInput;
  actions.pumpEvents = state.sdlPumpEvents != 0 ? &PumpSdlEvents : nullptr;
  actions.getRelativeMouseState = reinterpret_cast<uint32_t (*)(int*, int*)>(state.sdlGetRelativeMouseState);
  return PollPresentationMotion(state, ProcessRawTap(), Audit(), actions, ProcessTickSequence().load(),
                                GetCurrentThreadId());
}

void RestoreGuiCursorNow() {
  RestoreGuiCursor(ProcessGuiCursor(), Audit(), Original<GuiSendMousePosFunction>(kDetourGuiSendMousePos));
}

void UpdateGuiCursorNow() {
  const MouseState& state = ProcessMouseState();
  GuiCursorHost host;
  host.send = Original<GuiSendMousePosFunction>(kDetourGuiSendMousePos);  // null unless detoured
  host.getRelativeMouseMode = reinterpret_cast<int (*)()>(state.sdlGetRelativeMouseMode);
  host.drainRawInput = &DrainRawInput;
  UpdateGuiCursor(ProcessGuiCursor(), state, ProcessRawTap(), Audit(), host, ProcessTickSequence().load(),
                  GetCurrentThreadId());
}

}  // namespace driftglass
