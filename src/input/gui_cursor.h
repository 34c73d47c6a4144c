#pragma once
// The GUI's software cursor at presentation rate: every rendered frame sends the GUI where the
// cursor is now, and the next fixed update sends it only what the frames have not shown.

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

// Once per rendered frame, on the draw message.
void UpdateGuiCursor(GuiCursorState& cursor, const MouseState& mouse, const RawTapState& tap, MouseAudit& audit,
                     const GuiCursorHost& host, uint64_t currentTick, uint32_t threadId);

}  // namespace driftglass
