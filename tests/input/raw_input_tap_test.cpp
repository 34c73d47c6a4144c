#include "input/raw_input_tap.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/game_window.h"

namespace driftglass {
namespace {

TEST(RawInputTap, AcceptsOnlyWholeRelativeMousePackets) {
  const struct {
    UINT n;
    DWORD type;
    USHORT flags;
    bool accepted;
  } cases[] = {
      {40, RIM_TYPEMOUSE, 0, true},
      {16, RIM_TYPEMOUSE, 0, true},  // the header is all the size check asks for
      {15, RIM_TYPEMOUSE, 0, false},
      {static_cast<UINT>(-1), RIM_TYPEMOUSE, 0, false},
      {40, RIM_TYPEKEYBOARD, 0, false},
      {40, RIM_TYPEMOUSE, MOUSE_MOVE_ABSOLUTE, false},  // a tablet's position, not motion
      {40, RIM_TYPEMOUSE, MOUSE_VIRTUAL_DESKTOP, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n << " bytes, type " << c.type << ", flags " << c.flags);
    RAWINPUT packet{};
    packet.header.dwType = c.type;
    packet.data.mouse.usFlags = c.flags;
    packet.data.mouse.lLastX = -7;
    packet.data.mouse.lLastY = 3;
    uint8_t buffer[sizeof(RAWINPUT)];
    memcpy(buffer, &packet, sizeof(buffer));
    int32_t dx = 0, dy = 0;
    EXPECT_EQ(AcceptRawMousePacket(buffer, c.n, dx, dy), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(dx * 10 + dy, -67);
    }
  }
}

uint32_t g_sdlPackets = 0;
LRESULT CALLBACK SdlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INPUT) ++g_sdlPackets;
  return DefWindowProcW(window, message, wParam, lParam);
}

// A shown game window that registered for raw input as SDL2 does; null without a display.
HWND ShowGameWindow() {
  static const ATOM windowClass = [] {
    WNDCLASSW description{};
    description.lpfnWndProc = &SdlWindowProc;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"TapTestWindow";
    return RegisterClassW(&description);
  }();
  if (windowClass == 0) return nullptr;
  const HWND window = CreateWindowExW(0, L"TapTestWindow", L"game", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  ShowWindow(window, SW_SHOW);
  const RAWINPUTDEVICE mouse{1, 2, RIDEV_INPUTSINK, window};
  EXPECT_TRUE(RegisterRawInputDevices(&mouse, 1, sizeof(mouse)));
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  return window;
}

// The process's own tap on a real window that registered for raw input as SDL2 does, fed by the
// platform's input queue.
TEST(RawInputTap, CountsEveryQueuedPacketOnceAndPassesItOnInBoundedDrains) {
  const HWND window = ShowGameWindow();
  ASSERT_NE(window, nullptr) << "windows need a display";
  ASSERT_TRUE(InstallRawTap());
  EXPECT_EQ(FindGameWindow(), window);
  EXPECT_EQ(ProcessRawTap().tapWindow.load(), window);
  MouseAudit& audit = ProcessTelemetry().mouseAudit;
  EXPECT_EQ(audit.rawTap.load(), 1u);

  std::vector<INPUT> moves(10000);
  for (size_t i = 0; i < moves.size(); ++i) {
    moves[i].type = INPUT_MOUSE;
    moves[i].mi.dx = i % 2 == 0 ? 2 : -1;
    moves[i].mi.dwFlags = MOUSEEVENTF_MOVE;
  }
  ASSERT_EQ(SendInput(static_cast<UINT>(moves.size()), moves.data(), sizeof(INPUT)), moves.size());
  g_sdlPackets = 0;
  DrainRawInput();
  EXPECT_EQ(audit.rawDirectDrainMessages.load(), kRawDrainLimit);
  DrainRawInput();
  EXPECT_EQ(audit.rawDirectDrains.load(), 2u);
  EXPECT_EQ(audit.rawDirectDrainMessages.load(), 10000u);
  EXPECT_EQ(g_sdlPackets, 10000u);  // nothing swallowed
  EXPECT_EQ(audit.rawPackets.load(), 10000u);
  EXPECT_EQ(audit.rawXY.x.load(), 5000);
  EXPECT_EQ(ProcessMouseState().tickPending.x.load(), 5000);
  EXPECT_EQ(ProcessMouseState().presentPending.x.load(), 5000);
  EXPECT_TRUE(ProcessRawTap().rawActive.load());
  EXPECT_EQ(audit.rawActive.load(), 1u);
  EXPECT_TRUE(InstallRawTap());
  EXPECT_EQ(audit.rawInstallFail.load(), 0u);

  // The game destroys its window and makes another: the tap lets go of the old one, leaves its
  // counts to SDL2's own, and taps the new window once SDL2 registered it for raw input again.
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(ProcessRawTap().installed.load());
  EXPECT_FALSE(ProcessRawTap().rawActive.load());
  EXPECT_EQ(ProcessRawTap().tapWindow.load(), nullptr);
  EXPECT_EQ(ProcessMouseState().tickPending.x.load(), 0);
  EXPECT_EQ(ProcessMouseState().presentPending.x.load(), 0);
  EXPECT_EQ(audit.rawTap.load(), 0u);
  const HWND next = ShowGameWindow();
  ASSERT_NE(next, nullptr);
  ASSERT_TRUE(InstallRawTap());
  EXPECT_EQ(ProcessRawTap().tapWindow.load(), next);
  ASSERT_EQ(SendInput(4, moves.data(), sizeof(INPUT)), 4u);
  DrainRawInput();
  EXPECT_EQ(ProcessMouseState().tickPending.x.load(), 2);
  EXPECT_TRUE(ProcessRawTap().rawActive.load());
  DestroyWindow(next);
}

// Another component subclasses the game window after the tap, as overlays and input helpers do.
struct LaterSubclass {
  static inline WNDPROC below = nullptr;
  static inline bool swallowDestroy = false;
  static inline bool keptItsPlace = false;
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY && swallowDestroy) return 0;
    const LRESULT result = CallWindowProcW(below, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      keptItsPlace = GetWindowLongW(window, GWL_WNDPROC) == static_cast<LONG>(reinterpret_cast<LONG_PTR>(&Proc));
    }
    return result;
  }
  static void Install(HWND window) {
    below = reinterpret_cast<WNDPROC>(static_cast<LONG_PTR>(
        SetWindowLongW(window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(&Proc)))));
  }
};

// A shown game window registered for raw input as SDL2 registers it, tapped, with one packet of
// motion counted; then subclassed by another component.
HWND TappedWindowUnderAnotherSubclass(bool swallowDestroy) {
  const HWND window = ShowGameWindow();
  EXPECT_NE(window, nullptr);
  EXPECT_TRUE(InstallRawTap());
  EXPECT_EQ(ProcessRawTap().tapWindow.load(), window);
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = 3;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  EXPECT_EQ(SendInput(1, &move, sizeof(move)), 1u);
  DrainRawInput();
  EXPECT_TRUE(ProcessRawTap().rawActive.load());
  LaterSubclass::swallowDestroy = swallowDestroy;
  LaterSubclass::keptItsPlace = false;
  LaterSubclass::Install(window);
  return window;
}

// The tap lets go of a destroyed window whether or not WM_NCDESTROY reaches it, and never cuts
// off a procedure subclassed after it.
TEST(RawInputTap, ReleasesADestroyedWindowWithoutCuttingOffALaterSubclass) {
  const RawTapState& tap = ProcessRawTap();
  const MouseState& mouse = ProcessMouseState();

  ASSERT_TRUE(DestroyWindow(TappedWindowUnderAnotherSubclass(false)));
  EXPECT_TRUE(LaterSubclass::keptItsPlace) << "the later procedure still heads the window at its end";
  EXPECT_FALSE(tap.installed.load());

  // The later procedure keeps WM_NCDESTROY to itself: the next drain, or the next install
  // attempt, finds the window gone and releases it all the same.
  enum Notice { kAtDrain, kAtInstall };
  for (const Notice notice : {kAtDrain, kAtInstall}) {
    SCOPED_TRACE(notice == kAtDrain ? "noticed at a drain" : "noticed at an install attempt");
    ASSERT_TRUE(DestroyWindow(TappedWindowUnderAnotherSubclass(true)));
    EXPECT_TRUE(tap.installed.load()) << "nothing told the tap";
    HWND next = nullptr;
    if (notice == kAtDrain) {
      DrainRawInput();
    } else {
      next = ShowGameWindow();
      EXPECT_TRUE(InstallRawTap());
    }
    EXPECT_EQ(tap.installed.load(), next != nullptr);
    EXPECT_EQ(tap.tapWindow.load(), next);
    EXPECT_FALSE(tap.rawActive.load());
    EXPECT_EQ(mouse.tickPending.x.load(), 0) << "SDL2's own count delivers the motion";
    EXPECT_EQ(mouse.presentPending.x.load(), 0);
    if (next != nullptr) DestroyWindow(next);
  }
}

// A game window made by another thread: its procedure would run on that thread, between the steps
// of the main thread's mouse update, so the tap leaves it to SDL2's counts.
DWORD WINAPI OwnAWindow(void* ready) {
  const HWND window = ShowGameWindow();
  SetEvent(static_cast<HANDLE>(ready));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  if (window != nullptr) DestroyWindow(window);
  return 0;
}

TEST(RawInputTap, TapsOnlyAWindowOfTheThreadThatUpdatesTheMouse) {
  const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD owner = 0;
  const HANDLE thread = CreateThread(nullptr, 0, &OwnAWindow, ready, 0, &owner);
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
  const HWND window = FindGameWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), owner);
  MouseAudit& audit = ProcessTelemetry().mouseAudit;
  const uint32_t failures = audit.rawInstallFail.load();
  EXPECT_FALSE(InstallRawTap());
  EXPECT_EQ(audit.rawInstallFail.load(), failures + 1);
  EXPECT_FALSE(ProcessRawTap().installed.load());
  EXPECT_EQ(GetWindowLongW(window, GWL_WNDPROC), static_cast<LONG>(reinterpret_cast<LONG_PTR>(&SdlWindowProc)));
  PostThreadMessageW(owner, WM_QUIT, 0, 0);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  CloseHandle(ready);
}

}  // namespace
}  // namespace driftglass
