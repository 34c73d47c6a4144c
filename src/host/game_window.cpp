#include "host/game_window.h"

namespace driftglass {
namespace {

struct WindowSearch {
  DWORD pid = 0;
  HWND found = nullptr;
};

BOOL CALLBACK TakeFirstGameWindow(HWND window, LPARAM context) {
  WindowSearch& search = *reinterpret_cast<WindowSearch*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search.pid || !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  search.found = window;
  return FALSE;
}

HWND OwnForegroundWindow() {
  const HWND foreground = GetForegroundWindow();
  if (foreground == nullptr) return nullptr;
  DWORD owner = 0;
  GetWindowThreadProcessId(foreground, &owner);
  return owner == GetCurrentProcessId() ? foreground : nullptr;
}

}  // namespace

HWND FindGameWindow() {
  if (const HWND foreground = OwnForegroundWindow()) return foreground;
  WindowSearch search;
  search.pid = GetCurrentProcessId();
  EnumWindows(&TakeFirstGameWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool GameHasForeground() { return OwnForegroundWindow() != nullptr; }

}  // namespace driftglass
