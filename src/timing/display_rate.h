#pragma once
// The refresh rate of the display showing a window, read through the monitor the window is on.

#include <windows.h>

#include <cstdint>

namespace driftglass {

// The system calls the reader makes; tests substitute their own answers.
struct DisplayRateApi {
  HMONITOR(WINAPI* monitorFromWindow)(HWND, DWORD) = &MonitorFromWindow;
  BOOL(WINAPI* getMonitorInfo)(HMONITOR, LPMONITORINFO) = &GetMonitorInfoW;
  BOOL(WINAPI* enumDisplaySettings)(LPCWSTR, DWORD, DEVMODEW*) = &EnumDisplaySettingsW;
  HMONITOR(WINAPI* monitorFromPoint)(POINT, DWORD) = &MonitorFromPoint;
};

// The monitor a window is on (the nearest one); the primary one without a window.
HMONITOR DisplayOf(HWND window, const DisplayRateApi& api = DisplayRateApi{});
// Its refresh rate in whole hertz; 0 when it cannot be read or the answer is 0 or 1 (which the
// platform uses for "the hardware default").
uint32_t ReadRefreshRate(HMONITOR monitor, const DisplayRateApi& api = DisplayRateApi{});

}  // namespace driftglass
