// The stand-in SDL2's window and mouse modes, as SDL2 runs them on Windows: a real top-level
// window of the calling thread, raw mouse input while relative mode is on (registered as an input
// sink, so a window that is not in the foreground still receives it), and the cursor's position
// in the window for absolute mode. One window per process, as the game needs.
//
// SDL hides and confines the cursor in relative mode. Wine without XInput2 refuses to confine it,
// and while the pointer is over a shown window whose thread is not the one moving it, Wine
// echoes the X pointer's lagging position back as extra raw motion. So relative mode parks the
// cursor off the window instead: the raw motion is then exactly what the mouse sent. Leaving
// relative mode shows the cursor in the window again, at its centre.
#include <windows.h>

#include <cstdint>

#include "stand_ins/sdl2_stand_in_state.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr uint32_t kWindowHidden = 0x8;             // SDL_WINDOW_HIDDEN
constexpr uint32_t kStandInNoActivate = 0x80000000;  // stand-in only: shown without activation
constexpr uint32_t kPositionMask = 0xFFFF0000;
constexpr uint32_t kPositionUndefined = 0x1FFF0000;  // SDL_WINDOWPOS_UNDEFINED
constexpr uint32_t kPositionCentered = 0x2FFF0000;   // SDL_WINDOWPOS_CENTERED
constexpr wchar_t kClassName[] = L"SDLStandInWindow";

HWND gWindow = nullptr;
volatile LONG gRelativeMode = 0;
volatile LONG gRawPackets = 0;
volatile LONG gAbsolutePackets = 0;

void HandleRawInput(HRAWINPUT handle) {
  RAWINPUT input;
  UINT size = sizeof(input);
  if (GetRawInputData(handle, RID_INPUT, &input, &size, sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1) ||
      input.header.dwType != RIM_TYPEMOUSE) {
    return;
  }
  InterlockedIncrement(&gRawPackets);
  const RAWMOUSE& mouse = input.data.mouse;
  if ((mouse.usFlags & MOUSE_MOVE_ABSOLUTE) != 0) {
    InterlockedIncrement(&gAbsolutePackets);
    return;  // a position, not a motion: relative mode has no use for it
  }
  if (gRelativeMode != 0) sdl2_stand_in::AddRelativeMotion(mouse.lLastX, mouse.lLastY);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INPUT) HandleRawInput(reinterpret_cast<HRAWINPUT>(lParam));
  return DefWindowProcW(window, message, wParam, lParam);  // also frees the raw input
}

bool RegisterWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = kClassName;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

int PlaceOnScreen(int requested, int outerSize, int screenSize) {
  const uint32_t kind = static_cast<uint32_t>(requested) & kPositionMask;
  if (kind == kPositionCentered || kind == kPositionUndefined) return (screenSize - outerSize) / 2;
  return requested;
}

bool CursorNearWindow(const RECT& window) {
  constexpr LONG kMargin = 40;
  POINT cursor;
  return GetCursorPos(&cursor) && cursor.x > window.left - kMargin && cursor.x < window.right + kMargin &&
         cursor.y > window.top - kMargin && cursor.y < window.bottom + kMargin;
}

// A pointer position Wine had not yet echoed can pull the cursor back after the park while the
// mouse keeps moving, so the park repeats until the window's own events have settled.
void ParkCursorOffWindow() {
  RECT window;
  if (!IsWindowVisible(gWindow) || !GetWindowRect(gWindow, &window)) return;
  const LONG screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const LONG x = (window.left + window.right) / 2;
  const LONG y = screenHeight - window.bottom >= window.top ? (window.bottom + screenHeight) / 2 : window.top / 2;
  for (int attempt = 0; attempt < 20 && CursorNearWindow(window); ++attempt) {
    SetCursorPos(x, y);
    Sleep(10);
    SDL_PumpEvents();
  }
}

void ShowCursorInWindow() {
  RECT client;
  if (!IsWindowVisible(gWindow) || !GetClientRect(gWindow, &client)) return;
  POINT centre{client.right / 2, client.bottom / 2};
  ClientToScreen(gWindow, &centre);
  SetCursorPos(centre.x, centre.y);
}

bool RegisterRawMouse(bool on) {
  RAWINPUTDEVICE device{};
  device.usUsagePage = 1;  // generic desktop
  device.usUsage = 2;      // mouse
  device.dwFlags = on ? RIDEV_INPUTSINK : RIDEV_REMOVE;
  device.hwndTarget = on ? gWindow : nullptr;
  return RegisterRawInputDevices(&device, 1, sizeof(device)) != FALSE;
}

}  // namespace

extern "C" {

// Creates the game's window with a client area of w x h. Flags: SDL_WINDOW_HIDDEN (0x8) leaves it
// hidden; the stand-in's own 0x80000000 shows it without activating it, so another process's
// window can stay in the foreground.
__declspec(dllexport) void* SDL_CreateWindow(const char* title, int x, int y, int w, int h, uint32_t flags) {
  if (gWindow != nullptr || !RegisterWindowClass()) return nullptr;
  wchar_t wideTitle[256] = L"";
  if (title != nullptr) MultiByteToWideChar(CP_UTF8, 0, title, -1, wideTitle, 255);
  const DWORD style = WS_OVERLAPPEDWINDOW;
  RECT outer{0, 0, w, h};
  AdjustWindowRectEx(&outer, style, FALSE, 0);
  const int outerWidth = outer.right - outer.left;
  const int outerHeight = outer.bottom - outer.top;
  gWindow = CreateWindowExW(0, kClassName, wideTitle, style,
                            PlaceOnScreen(x, outerWidth, GetSystemMetrics(SM_CXSCREEN)),
                            PlaceOnScreen(y, outerHeight, GetSystemMetrics(SM_CYSCREEN)), outerWidth,
                            outerHeight, nullptr, nullptr, reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr);
  if (gWindow == nullptr) return nullptr;
  if ((flags & kWindowHidden) == 0) {
    ShowWindow(gWindow, (flags & kStandInNoActivate) != 0 ? SW_SHOWNA : SW_SHOW);
    UpdateWindow(gWindow);
  }
  if (gRelativeMode != 0) {  // the mode was set before there was a window
    ParkCursorOffWindow();
    RegisterRawMouse(true);
  }
  return gWindow;  // the handle doubles as SDL's opaque window pointer
}

// Destroys the game's window; raw input stops until a new window registers for it again, which
// SDL_CreateWindow does in relative mode, as SDL2 does.
__declspec(dllexport) void SDL_DestroyWindow(void* window) {
  if (window == nullptr || window != gWindow) return;
  DestroyWindow(gWindow);
  gWindow = nullptr;
}

// Relative mode reads raw mouse motion into the relative state; off, the window stops receiving
// it. Without a window only the mode changes.
__declspec(dllexport) int SDL_SetRelativeMouseMode(int enabled) {
  const LONG on = enabled != 0 ? 1 : 0;
  if (InterlockedExchange(&gRelativeMode, on) == on || gWindow == nullptr) return 0;
  if (on == 0) {
    const bool removed = RegisterRawMouse(false);
    ShowCursorInWindow();
    return removed ? 0 : -1;
  }
  ParkCursorOffWindow();
  return RegisterRawMouse(true) ? 0 : -1;
}

#ifndef WITHOUT_RELATIVE_MOUSE_MODE
__declspec(dllexport) int SDL_GetRelativeMouseMode(void) { return gRelativeMode; }
#endif

// The cursor in the window's client coordinates (0, 0 without a window).
__declspec(dllexport) uint32_t SDL_GetMouseState(int* x, int* y) {
  POINT cursor{0, 0};
  if (gWindow != nullptr && GetCursorPos(&cursor)) {
    ScreenToClient(gWindow, &cursor);
  } else {
    cursor = POINT{0, 0};
  }
  if (x != nullptr) *x = cursor.x;
  if (y != nullptr) *y = cursor.y;
  return 0;
}

// Test hook of the stand-in: in relative mode SDL keeps the cursor confined, so a cursor that an
// absolute move put over the window goes back where relative mode keeps it. Left over the window,
// Wine's X11 side would treat the pointer entering it as a focus change and reset the keyboard
// state to X's own, undoing keys pressed through SendInput.
__declspec(dllexport) void SDLStandIn_ConfineCursor(void) {
  if (gRelativeMode != 0 && gWindow != nullptr) ParkCursorOffWindow();
}

// Test hooks of the stand-in: the window, and the raw mouse packets its window procedure saw.
__declspec(dllexport) HWND SDLStandIn_WindowHandle(void) { return gWindow; }
__declspec(dllexport) uint32_t SDLStandIn_RawPackets(void) { return static_cast<uint32_t>(gRawPackets); }
__declspec(dllexport) uint32_t SDLStandIn_AbsolutePackets(void) {
  return static_cast<uint32_t>(gAbsolutePackets);
}
}
