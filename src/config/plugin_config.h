#pragma once

#include <cstdint>
#include <string>

namespace driftglass {

// Frames are drawn at the logic timer's own time unless the player asks for a delay: any delay
// makes displays at 60 to 100 Hz stop and jump just after a tick.
constexpr uint32_t kDefaultPhaseDelayPercent = 0;

// The eleven [Features] switches, in file order.
struct FeatureFlags {
  bool renderUnlock = false;
  bool presentationLimiter = false;
  bool cameraInterpolation = false;
  bool handsRootInterpolation = false;
  bool worldRootInterpolation = false;
  bool handsPoseInterpolation = false;
  bool worldPoseInterpolation = false;
  bool ragdollPoseInterpolation = true;
  bool particleInterpolation = false;
  bool imageTrailTiming = false;
  bool mouseOverlay = false;
};

struct PluginConfig {
  bool enabled = true;
  bool diagnostics = true;
  bool telemetryEnabled = true;
  bool motionTrace = false;
  uint32_t reportIntervalSeconds = 5;
  FeatureFlags features;
  uint32_t targetFps = 0;
  // Share of a frame's length (in 60 Hz ticks) that the presentation lags the logic timer.
  uint32_t phaseDelayPercent = kDefaultPhaseDelayPercent;
  // The key that turns every drawn correction off and on while the game runs; 0: none.
  uint32_t compareKey = 0;
};

struct PluginConfigResult {
  PluginConfig config;
  bool succeeded = false;
  std::wstring errorText;
};

struct ProfileValue {
  bool present = false;
  // The profile function filled its whole buffer, so the value may have been cut short.
  bool truncated = false;
  std::wstring raw;
};

// Reads every key of the INI at path; a missing file or any invalid value fails with one text.
PluginConfigResult LoadPluginConfig(const std::wstring& path);

ProfileValue ReadProfileValue(const std::wstring& path, const wchar_t* section, const wchar_t* key);
bool ReadBoolSetting(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                     bool defaultValue, bool& value, std::wstring& errorText);
bool ReadUnsignedSetting(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                         uint32_t defaultValue, uint32_t minimum, uint32_t maximum,
                         uint32_t& value, std::wstring& errorText);
bool ReadTargetFps(const std::wstring& path, uint32_t& value, std::wstring& errorText);
// A key name (see key_names.h); absent or empty: no key.
bool ReadKeySetting(const std::wstring& path, const wchar_t* section, const wchar_t* key, uint32_t& value,
                    std::wstring& errorText);

// Trims white space at both ends and lower-cases the rest.
std::wstring NormalizeSettingText(const std::wstring& text);

}  // namespace driftglass
