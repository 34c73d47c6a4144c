#include "input/mouse_detours.h"

#include <windows.h>

#include "input/gameplay_input_pass.h"
#include "input/gui_cursor.h"
#include "timing/tick_sequence.h"

namespace driftglass {
namespace {

using MouseUpdateFunction = void(DRIFTGLASS_THISCALL*)(void*);
using GetRelPositionFunction = int32_t*(DRIFTGLASS_THISCALL*)(void*, int32_t*);
using InputPassFunction = void(DRIFTGLASS_THISCALL*)(void*);

MouseAudit& Audit() { return ProcessTelemetry().mouseAudit; }

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
  MouseState& state = ProcessMouseState();
  state.lastMouse.store(mouse);
  state.mouseThreadId.store(GetCurrentThreadId());
  InstallRawTap();
  RetireMouseCounts(state, ProcessRawTap(), Audit(), counts, ProcessTickSequence().load());
}

int32_t* DRIFTGLASS_THISCALL MouseGetRelPositionDetour(void* mouse, int32_t* result) {
  int32_t* const returned = Original<GetRelPositionFunction>(kDetourMouseGetRelPosition)(mouse, result);
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
  const InputHandlerSettings settings = ReadInputHandlerSettings(inputHandler);
  GameplayInputFrame& frame = ThreadGameplayInputFrame();
  MouseState& state = ProcessMouseState();
  BeginGameplayInput(frame, state, audit, settings);
  original(inputHandler);
  EndGameplayInput(frame, state, audit, settings, ProcessTickSequence().load());
}

PresentationMotion PollPresentationMotionNow() {
  MouseState& state = ProcessMouseState();
  PollActions actions;
  actions.drainRawInput = &DrainRawInput;
  actions.pumpEvents = reinterpret_cast<void (*)()>(state.sdlPumpEvents);
  actions.getRelativeMouseState = reinterpret_cast<uint32_t (*)(int*, int*)>(state.sdlGetRelativeMouseState);
  return PollPresentationMotion(state, ProcessRawTap(), Audit(), actions, ProcessTickSequence().load(),
                                GetCurrentThreadId());
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
