#include "timing/display_rate.h"

namespace driftglass {

HMONITOR DisplayOf(HWND window, const DisplayRateApi& api) {
  return window != nullptr ? api.monitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                           : api.monitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
}

uint32_t ReadRefreshRate(HMONITOR monitor, const DisplayRateApi& api) {
  if (monitor == nullptr) return 0;
  MONITORINFOEXW info{};
  info.cbSize = sizeof(info);
  if (!api.getMonitorInfo(monitor, &info)) return 0;
  DEVMODEW mode{};
  mode.dmSize = sizeof(mode);
  if (!api.enumDisplaySettings(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) return 0;
  return mode.dmDisplayFrequency > 1 ? mode.dmDisplayFrequency : 0;
}

}  // namespace driftglass
