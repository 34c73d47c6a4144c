#pragma once
// Sees every raw mouse packet SDL2 registered for, before SDL2 does: the game window is
// subclassed, each relative packet's exact motion is added to the shared pending counts, and the
// message always goes on unchanged. The tap never registers devices or swallows a message.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "diag/telemetry_counters.h"
#include "input/mouse_state.h"

namespace driftglass {

using MouseAudit = MouseAuditTelemetry<LiveTelemetrySlots>;

struct RawTapState {
  std::atomic<HWND> tapWindow{nullptr};
  std::atomic<WNDPROC> previousProc{nullptr};
  std::atomic<bool> installed{false};
  // Set by the first relative packet on the tapped window; cleared when that window goes.
  std::atomic<bool> rawActive{false};
};

RawTapState& ProcessRawTap();

// One packet as GetRawInputData left it (n bytes of a 40-byte buffer): true for a relative mouse
// packet, with its motion.
bool AcceptRawMousePacket(const uint8_t* buffer, UINT n, int32_t& dx, int32_t& dy);
// Adds an accepted packet to the counts and marks raw mode.
void CountRawPacket(RawTapState& tap, MouseState& mouse, MouseAudit& audit, int32_t dx, int32_t dy);

// Subclasses the game window if the calling thread owns it (a window of another thread is left to
// SDL2's counts); every failure is counted and retried at the next call. When the
// window is destroyed (WM_NCDESTROY, or found gone here or at a drain because a procedure
// subclassed after the tap kept that message from it) the tap puts its procedure back, stops
// counting as raw mode and leaves the tap's counts to SDL2's own, and the next call installs it
// on the new window.
bool InstallRawTap();
// Puts the window's procedure back if it is still ours and hands the tap's counts back to SDL2;
// once per tapped window, however many paths find it gone.
void ReleaseRawTap(RawTapState& tap, MouseState& mouse, MouseAudit& audit, HWND window);
LRESULT CALLBACK RawTapWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Dispatches the raw-input messages queued for the tap window, at most 8192 per call.
void DrainRawInput();

constexpr uint32_t kRawDrainLimit = 8192;

}  // namespace driftglass
