#include "input/raw_input_tap.h"

#include <cstddef>
#include <cstring>

#include "host/game_window.h"
#include "log/diagnostic_log.h"
#include "measure/stage_meter.h"

namespace driftglass {
namespace {

// The platform's 32-bit packet: a 16-byte header, then the mouse record.
static_assert(sizeof(RAWINPUTHEADER) == 16 && sizeof(RAWINPUT) == 40);
static_assert(offsetof(RAWINPUT, data.mouse.usFlags) == 16);
static_assert(offsetof(RAWINPUT, data.mouse.lLastX) == 28 && offsetof(RAWINPUT, data.mouse.lLastY) == 32);

constexpr UINT kRawInputFailed = static_cast<UINT>(-1);

const wchar_t kTapInstalledText[] =
    L"Native raw-mouse packet tap installed on the SDL game window; SDL remains responsible for "
    L"registration, buttons, focus, and menus.";
const wchar_t kTapReleasedText[] =
    L"Native raw-mouse packet tap released: the game window was destroyed; SDL's counts are used "
    L"until the tap is installed on the game's next window.";

}  // namespace

void ReleaseRawTap(RawTapState& tap, MouseState& mouse, MouseAudit& audit, HWND window) {
  // WM_NCDESTROY and a drain or install that found the window gone may both come here: one releases.
  HWND tapped = window;
  if (!tap.tapWindow.compare_exchange_strong(tapped, nullptr)) return;
  const WNDPROC previous = tap.previousProc.load();
  // Only our own procedure is swapped back; one installed over it keeps its place.
  if (reinterpret_cast<WNDPROC>(static_cast<LONG_PTR>(GetWindowLongW(window, GWL_WNDPROC))) == &RawTapWindowProc) {
    SetWindowLongW(window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(previous)));
  }
  tap.installed.store(false);
  audit.rawTap.store(0);
  if (tap.rawActive.exchange(false)) {
    // Every packet the tap counted is in SDL2's own count too: from now on that count delivers
    // it, so the tap's copies go, and no motion arrives twice. A stock count an update deferred
    // before the tap took over is not a copy and stays.
    const int64_t tapX = mouse.tapSinceUpdate.x.exchange(0);
    const int64_t tapY = mouse.tapSinceUpdate.y.exchange(0);
    mouse.tickPending.Add(-tapX, -tapY);
    mouse.presentPending.x.exchange(0);
    mouse.presentPending.y.exchange(0);
    audit.rawActive.store(0);
  }
  ProcessLog().WriteLine(kLogInfo, kTapReleasedText);
}

RawTapState& ProcessRawTap() {
  static RawTapState tap;
  return tap;
}

bool AcceptRawMousePacket(const uint8_t* buffer, UINT n, int32_t& dx, int32_t& dy) {
  if (n == kRawInputFailed || n < sizeof(RAWINPUTHEADER)) return false;
  RAWINPUT packet;
  memcpy(&packet, buffer, sizeof(packet));
  if (packet.header.dwType != RIM_TYPEMOUSE || (packet.data.mouse.usFlags & MOUSE_MOVE_ABSOLUTE) != 0) {
    return false;
  }
  dx = packet.data.mouse.lLastX;
  dy = packet.data.mouse.lLastY;
  return true;
}

void CountRawPacket(RawTapState& tap, MouseState& mouse, MouseAudit& audit, int32_t dx, int32_t dy) {
  if (!tap.rawActive.exchange(true)) audit.rawActive.store(1);
  audit.rawPackets.fetch_add(1);
  if (dx != 0 || dy != 0) audit.rawNonZero.fetch_add(1);
  audit.rawXY.Add(dx, dy);
  mouse.presentPending.Add(dx, dy);
  mouse.tickPending.Add(dx, dy);
  mouse.tapSinceUpdate.Add(dx, dy);
}

bool InstallRawTap() {
  RawTapState& tap = ProcessRawTap();
  MouseAudit& audit = ProcessTelemetry().mouseAudit;
  if (tap.installed.load()) {
    const HWND tapped = tap.tapWindow.load();
    if (IsWindow(tapped)) return true;
    // A procedure subclassed after ours kept WM_NCDESTROY from us: the window is gone all the same.
    ReleaseRawTap(tap, ProcessMouseState(), audit, tapped);
  }
  const HWND window = FindGameWindow();
  // Only a window of this thread, the one that updates the mouse, is tapped: its procedure then
  // runs only inside this thread's own message calls, never between the steps in which an update
  // takes the tap's counts, and its release never runs beside the drain's.
  if (window == nullptr || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
    audit.rawInstallFail.fetch_add(1);
    return false;
  }
  // A window of another thread could get a message between the swap and the store below: it
  // must already find the procedure it is to pass messages on to.
  tap.previousProc.store(reinterpret_cast<WNDPROC>(static_cast<LONG_PTR>(GetWindowLongW(window, GWL_WNDPROC))));
  SetLastError(0);
  const LONG previous =
      SetWindowLongW(window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(&RawTapWindowProc)));
  if (previous == 0 && GetLastError() != 0) {
    tap.previousProc.store(nullptr);
    audit.rawInstallFail.fetch_add(1);
    return false;
  }
  tap.previousProc.store(reinterpret_cast<WNDPROC>(static_cast<LONG_PTR>(previous)));
  tap.tapWindow.store(window);
  tap.installed.store(true);
  audit.rawTap.store(1);
  ProcessLog().WriteLine(kLogInfo, kTapInstalledText);
  return true;
}


LRESULT CALLBACK RawTapWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  RawTapState& tap = ProcessRawTap();
  if (message == WM_NCDESTROY && window == tap.tapWindow.load()) {
    ReleaseRawTap(tap, ProcessMouseState(), ProcessTelemetry().mouseAudit, window);
  }
  if (message == WM_INPUT) {
    alignas(8) uint8_t buffer[sizeof(RAWINPUT)] = {};
    UINT size = sizeof(buffer);
    CountSystemCall();
    const UINT n = GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, buffer, &size,
                                   sizeof(RAWINPUTHEADER));
    int32_t dx = 0;
    int32_t dy = 0;
    if (AcceptRawMousePacket(buffer, n, dx, dy)) {
      CountRawPacket(tap, ProcessMouseState(), ProcessTelemetry().mouseAudit, dx, dy);
    }
  }
  const WNDPROC previous = tap.previousProc.load();
  if (previous != nullptr) return CallWindowProcW(previous, window, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

void DrainRawInput() {
  RawTapState& tap = ProcessRawTap();
  const HWND window = tap.tapWindow.load();
  if (window == nullptr || !tap.installed.load()) return;
  MouseAudit& audit = ProcessTelemetry().mouseAudit;
  if (!IsWindow(window)) {
    ReleaseRawTap(tap, ProcessMouseState(), audit, window);
    return;
  }
  audit.rawDirectDrains.fetch_add(1);
  uint32_t dispatched = 0;
  MSG message;
  for (;;) {
    if (dispatched == kRawDrainLimit) break;
    CountSystemCall();
    if (!PeekMessageW(&message, window, WM_INPUT, WM_INPUT, PM_REMOVE)) break;
    DispatchMessageW(&message);
    ++dispatched;
  }
  audit.rawDirectDrainMessages.fetch_add(dispatched);
}

}  // namespace driftglass
