#include "timing/display_rate.h"

#include <cwchar>

namespace driftglass {
namespace {

// More than a desktop shows at once; a configuration that does not fit falls back to whole hertz.
constexpr UINT32 kPathCapacity = 16;
constexpr UINT32 kModeCapacity = 32;

// An exact rate is believed only when it rounds to within a hertz of the mode's own figure.
bool Agrees(const FrameRate& exact, uint32_t wholeHertz) {
  const uint64_t low = uint64_t{wholeHertz > 0 ? wholeHertz - 1 : 0} * exact.denominator;
  const uint64_t high = uint64_t{wholeHertz + 1} * exact.denominator;
  return exact.known() && exact.numerator >= low && exact.numerator <= high;
}

}  // namespace

HMONITOR DisplayOf(HWND window, const DisplayRateApi& api) {
  return window != nullptr ? api.monitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                           : api.monitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
}

FrameRate DisplayRateReader::Read(HMONITOR monitor) {
  if (monitor == nullptr) return FrameRate{};
  MONITORINFOEXW info{};
  info.cbSize = sizeof(info);
  if (!api_.getMonitorInfo(monitor, &info)) return FrameRate{};
  DEVMODEW mode{};
  mode.dmSize = sizeof(mode);
  if (!api_.enumDisplaySettings(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) return FrameRate{};
  const uint32_t whole = mode.dmDisplayFrequency > 1 ? mode.dmDisplayFrequency : 0;
  if (whole == 0) {
    wholeHertz_ = 0;  // read the exact rate again once the mode is back
    return FrameRate{};
  }
  if (monitor != monitor_ || whole != wholeHertz_) {
    monitor_ = monitor;
    wholeHertz_ = whole;
    exactFailures_ = 0;
    ReadExact(info.szDevice);
  } else if (callsUntilRetry_ != 0 && --callsUntilRetry_ == 0) {
    ReadExact(info.szDevice);
  }
  return rate_;
}

void DisplayRateReader::ReadExact(const wchar_t* device) {
  FrameRate exact;
  if (QueryExact(device, exact)) {
    rate_ = exact;
    exactFailures_ = 0;
    callsUntilRetry_ = 0;
    return;
  }
  rate_ = WholeHertz(wholeHertz_);
  ++exactFailures_;
  callsUntilRetry_ = exactFailures_ < kExactAttempts ? 1u << (exactFailures_ - 1) : 0;
}

bool DisplayRateReader::QueryExact(const wchar_t* device, FrameRate& exact) {
  ++exactQueries_;
  DISPLAYCONFIG_PATH_INFO paths[kPathCapacity];
  DISPLAYCONFIG_MODE_INFO modes[kModeCapacity];
  UINT32 pathCount = kPathCapacity;
  UINT32 modeCount = kModeCapacity;
  if (api_.queryDisplayConfig == nullptr ||
      api_.queryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &pathCount, paths, &modeCount, modes, nullptr) !=
          ERROR_SUCCESS) {
    return false;
  }
  for (UINT32 i = 0; i < pathCount && i < kPathCapacity; ++i) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = paths[i].sourceInfo.adapterId;
    source.header.id = paths[i].sourceInfo.id;
    if (api_.displayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS) continue;
    if (wcsncmp(source.viewGdiDeviceName, device, CCHDEVICENAME) != 0) continue;
    const FrameRate rate{paths[i].targetInfo.refreshRate.Numerator, paths[i].targetInfo.refreshRate.Denominator};
    if (!Agrees(rate, wholeHertz_)) return false;
    exact = Reduced(rate);
    return true;
  }
  return false;
}

}  // namespace driftglass
