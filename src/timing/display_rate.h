#pragma once
// The refresh rate of the display showing a window, read through the monitor the window is on.

#include <windows.h>

#include <cstdint>

#include "timing/frame_rate.h"

namespace driftglass {

// The system calls the reader makes; tests substitute their own answers.
struct DisplayRateApi {
  HMONITOR(WINAPI* monitorFromWindow)(HWND, DWORD) = &MonitorFromWindow;
  BOOL(WINAPI* getMonitorInfo)(HMONITOR, LPMONITORINFO) = &GetMonitorInfoW;
  BOOL(WINAPI* enumDisplaySettings)(LPCWSTR, DWORD, DEVMODEW*) = &EnumDisplaySettingsW;
  HMONITOR(WINAPI* monitorFromPoint)(POINT, DWORD) = &MonitorFromPoint;
  LONG(WINAPI* queryDisplayConfig)(UINT32, UINT32*, DISPLAYCONFIG_PATH_INFO*, UINT32*,
                                   DISPLAYCONFIG_MODE_INFO*, DISPLAYCONFIG_TOPOLOGY_ID*) = &QueryDisplayConfig;
  LONG(WINAPI* displayConfigGetDeviceInfo)(DISPLAYCONFIG_DEVICE_INFO_HEADER*) = &DisplayConfigGetDeviceInfo;
};

// The monitor a window is on (the nearest one); the primary one without a window.
HMONITOR DisplayOf(HWND window, const DisplayRateApi& api = DisplayRateApi{});

// Reads a monitor's refresh rate: its whole-hertz mode at every call, and the exact rate from the
// display configuration (59.94 Hz is 60000/1001) when the monitor or its whole-hertz mode changed,
// since that query takes milliseconds. No rate when the mode cannot be read or is 0 or 1 (which
// the platform uses for "the hardware default"); whole hertz when the configuration offers nothing
// that agrees with the mode. An exact read that failed or disagreed is tried again at the next
// call, then after 2, 4, 8 and 16 calls (15 s at the limiter's two calls a second); after that
// only a change of monitor or mode asks again. A passing fault costs a call or two of whole hertz,
// a lasting one six queries.
class DisplayRateReader {
 public:
  static constexpr uint32_t kExactAttempts = 6;

  explicit DisplayRateReader(const DisplayRateApi& api = DisplayRateApi{}) : api_(api) {}
  FrameRate Read(HMONITOR monitor);
  // How often the exact rate was queried (for tests and the benchmark).
  uint32_t exactQueries() const { return exactQueries_; }

 private:
  void ReadExact(const wchar_t* device);
  bool QueryExact(const wchar_t* device, FrameRate& exact);

  DisplayRateApi api_;
  HMONITOR monitor_ = nullptr;
  uint32_t wholeHertz_ = 0;
  FrameRate rate_;
  uint32_t exactQueries_ = 0;
  uint32_t exactFailures_ = 0;    // exact reads in a row that gave whole hertz only
  uint32_t callsUntilRetry_ = 0;  // 0: no read due (the exact rate is known, or the reader gave up)

};

}  // namespace driftglass
