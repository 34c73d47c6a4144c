#pragma once
// The GUI's software cursor at presentation rate: on every draw message the GUI is sent where the
// cursor is now, draws with it, and gets back the position the game last gave it, like every
// other correction made for one frame. Each fixed step therefore finds the GUI as the game left it
// (a GUI the step closes keeps the game's position, not a frame's), and the fixed update's own
// motion carries on from there.

#include <cstdint>

#include "host/hook_slots.h"
#include "input/mouse_arithmetic.h"
#include "input/mouse_state.h"
#include "input/raw_input_tap.h"

namespace driftglass {

struct GuiCursorState {
  void* lastGui = nullptr;
  MousePoint stockPos;
  MousePoint presentedPos;
  uint64_t stockTick = 0;
  bool guiActive = false;
};

GuiCursorState& ProcessGuiCursor();

using GuiSendMousePosFunction = uint8_t(DRIFTGLASS_THISCALL*)(void* gui, const int32_t* position,
                                                                    const int32_t* relative);

// The host's own update of the GUI cursor (the detour's work); calls send once.
uint8_t StockGuiUpdate(GuiCursorState& cursor, MouseState& mouse, MouseAudit& audit, void* gui,
                       const int32_t* position, const int32_t* relative, uint64_t currentTick,
                       GuiSendMousePosFunction send);

// What the presentation-rate update needs besides the shared state.
struct GuiCursorHost {
  GuiSendMousePosFunction send = nullptr;  // the engine's function itself, not the detour
  int (*getRelativeMouseMode)() = nullptr;
  void (*drainRawInput)() = nullptr;
};

// After the GUI has drawn: a GUI the frame moved goes back to the last stock position.
void RestoreGuiCursor(GuiCursorState& cursor, MouseAudit& audit, GuiSendMousePosFunction send);

// Once per rendered frame, on the draw message.
void UpdateGuiCursor(GuiCursorState& cursor, const MouseState& mouse, const RawTapState& tap, MouseAudit& audit,
                     const GuiCursorHost& host, uint64_t currentTick, uint32_t threadId);

}  // namespace driftglass
