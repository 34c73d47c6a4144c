#include "input/gui_cursor.h"

#include <windows.h>

#include "host/guarded_memory.h"
#include "measure/stage_meter.h"

namespace driftglass {
namespace {

constexpr size_t kGuiActiveOffset = 52;

}  // namespace

GuiCursorState& ProcessGuiCursor() {
  static GuiCursorState cursor;
  return cursor;
}

uint8_t StockGuiUpdate(GuiCursorState& cursor, MouseState& mouse, MouseAudit& audit, void* gui,
                       const int32_t* position, const int32_t* relative, uint64_t currentTick,
                       GuiSendMousePosFunction send) {
  const uint8_t* active = gui != nullptr ? static_cast<const uint8_t*>(gui) + kGuiActiveOffset : nullptr;
  if (active == nullptr || position == nullptr || relative == nullptr || !IsRangeReadable(active, 4)) {
    cursor.guiActive = false;
    audit.guiInvalid.fetch_add(1);
    return send(gui, position, relative);
  }
  if (*reinterpret_cast<const uint32_t*>(active) == 0) {
    cursor.guiActive = false;
    return send(gui, position, relative);
  }
  const MousePoint pos{position[0], position[1]};
  MousePoint rel{relative[0], relative[1]};
  if (cursor.guiActive && gui == cursor.lastGui) {
    // The frames already moved the cursor to presentedPos: only the rest is new to the GUI.
    const MousePoint corrected = SaturatingDiff(pos, cursor.presentedPos);
    if (!(corrected == rel)) audit.guiFixedCorrection.fetch_add(1);
    rel = corrected;
  }
  const int32_t sent[2] = {rel.x, rel.y};
  const uint8_t result = send(gui, position, sent);
  cursor.lastGui = gui;
  cursor.stockPos = cursor.presentedPos = pos;
  cursor.stockTick = currentTick;
  cursor.guiActive = true;
  mouse.gameplayLive.store(false);
  audit.guiStock.fetch_add(1);
  return result;
}

void RestoreGuiCursor(GuiCursorState& cursor, MouseAudit& audit, GuiSendMousePosFunction send) {
  if (!cursor.guiActive || cursor.lastGui == nullptr || send == nullptr || cursor.presentedPos == cursor.stockPos) {
    return;
  }
  const uint8_t* active = static_cast<const uint8_t*>(cursor.lastGui) + kGuiActiveOffset;
  if (!IsRangeReadable(active, 4) || *reinterpret_cast<const uint32_t*>(active) == 0) {
    cursor.guiActive = false;  // gone since the frames moved it: nothing to give back to
    return;
  }
  const MousePoint back = SaturatingDiff(cursor.stockPos, cursor.presentedPos);
  const int32_t position[2] = {cursor.stockPos.x, cursor.stockPos.y};
  const int32_t relative[2] = {back.x, back.y};
  send(cursor.lastGui, position, relative);
  cursor.presentedPos = cursor.stockPos;
  audit.guiRestore.fetch_add(1);
}

void UpdateGuiCursor(GuiCursorState& cursor, const MouseState& mouse, const RawTapState& tap, MouseAudit& audit,
                     const GuiCursorHost& host, uint64_t currentTick, uint32_t threadId) {
  const HWND window = tap.tapWindow.load();
  if (!mouse.mouseOverlay || !cursor.guiActive || cursor.lastGui == nullptr || host.send == nullptr ||
      host.getRelativeMouseMode == nullptr || window == nullptr || !tap.installed.load() ||
      mouse.gameplayLive.load()) {
    return;
  }
  if (currentTick > cursor.stockTick + 1) {
    cursor.guiActive = false;  // no stock update for a tick: the GUI is gone until the next one
    audit.guiStale.fetch_add(1);
    return;
  }
  const uint32_t owner = mouse.mouseThreadId.load();
  if (owner == 0 || owner != threadId) {
    audit.guiThreadMismatch.fetch_add(1);
    return;
  }
  RECT client;
  CountSystemCall();
  if (!GetClientRect(window, &client) || client.right <= client.left || client.bottom <= client.top) {
    audit.guiInvalid.fetch_add(1);
    return;
  }
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  MousePoint pos;
  bool relativeMode;
  {
    HostCallScope call;
    relativeMode = host.getRelativeMouseMode() != 0;
  }
  if (relativeMode) {
    host.drainRawInput();
    if (!tap.rawActive.load()) return;
    // SDL2 got the same packets: the next stock position will already contain this motion.
    pos.x = ClampToClient(cursor.stockPos.x, mouse.tickPending.x.load(), width);
    pos.y = ClampToClient(cursor.stockPos.y, mouse.tickPending.y.load(), height);
    audit.guiModeRelative.fetch_add(1);
  } else {
    POINT point;
    CountSystemCall();
    CountSystemCall();
    if (!GetCursorPos(&point) || !ScreenToClient(window, &point)) {
      audit.guiInvalid.fetch_add(1);
      return;
    }
    pos.x = ClampToClient(point.x, 0, width);
    pos.y = ClampToClient(point.y, 0, height);
    audit.guiModeAbsolute.fetch_add(1);
  }
  audit.guiPresent.fetch_add(1);
  const MousePoint delta = SaturatingDiff(pos, cursor.presentedPos);
  if (delta.x == 0 && delta.y == 0) return;
  const int32_t position[2] = {pos.x, pos.y};
  const int32_t relative[2] = {delta.x, delta.y};
  host.send(cursor.lastGui, position, relative);
  cursor.presentedPos = pos;
  audit.guiMoves.fetch_add(1);
  audit.guiXY.Add(delta.x, delta.y);
}

}  // namespace driftglass
