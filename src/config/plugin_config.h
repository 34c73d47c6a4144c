#pragma once
// The configuration record and its reader. Which keys there are, their defaults and ranges are
// declared in settings_table.h; this reads them, either through the private-profile functions
// (the start-up) or from a content already read into memory (the settings watcher), with the same
// rules and the same texts.

#include <cstdint>
#include <string>

#include "config/settings_table.h"

namespace driftglass {

class ProfileText;

constexpr bool DefaultOn(SettingKey key) { return SettingDefault(key) != 0; }

// The eleven [Features] switches, in file order.
struct FeatureFlags {
  bool renderUnlock = DefaultOn(kSettingRenderUnlock);
  bool presentationLimiter = DefaultOn(kSettingPresentationLimiter);
  bool cameraInterpolation = DefaultOn(kSettingCameraInterpolation);
  bool handsRootInterpolation = DefaultOn(kSettingHandsRootInterpolation);
  bool worldRootInterpolation = DefaultOn(kSettingWorldRootInterpolation);
  bool handsPoseInterpolation = DefaultOn(kSettingHandsPoseInterpolation);
  bool worldPoseInterpolation = DefaultOn(kSettingWorldPoseInterpolation);
  bool ragdollPoseInterpolation = DefaultOn(kSettingRagdollPoseInterpolation);
  bool particleInterpolation = DefaultOn(kSettingParticleInterpolation);
  bool imageTrailTiming = DefaultOn(kSettingImageTrailTiming);
  bool mouseOverlay = DefaultOn(kSettingMouseOverlay);
};

struct PluginConfig {
  bool enabled = DefaultOn(kSettingEnabled);
  bool diagnostics = DefaultOn(kSettingDiagnostics);
  bool telemetryEnabled = DefaultOn(kSettingTelemetryEnabled);
  bool motionTrace = DefaultOn(kSettingMotionTrace);
  uint32_t reportIntervalSeconds = SettingDefault(kSettingReportInterval);
  FeatureFlags features;
  uint32_t targetFps = SettingDefault(kSettingTargetFps);
  // Share of a frame's length (in 60 Hz ticks) that the presentation lags the logic timer.
  uint32_t phaseDelayPercent = SettingDefault(kSettingPhaseDelayPercent);
  // The key that turns every drawn correction off and on while the game runs; 0: none.
  uint32_t compareKey = SettingDefault(kSettingCompareKey);
};

// A key's value as a number: a boolean 0 or 1, a key its virtual-key code.
uint32_t SettingValue(const PluginConfig& config, uint32_t key);
void SetSettingValue(PluginConfig& config, uint32_t key, uint32_t value);

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
// The same keys and rules over an INI's content read once.
PluginConfigResult ParsePluginConfig(const ProfileText& text);

ProfileValue ReadProfileValue(const std::wstring& path, const wchar_t* section, const wchar_t* key);
ProfileValue ReadProfileValue(const ProfileText& text, const wchar_t* section, const wchar_t* key);
// One key's raw value checked against its declaration: the value, or the rejection text.
bool ReadSetting(const SettingDeclaration& setting, const ProfileValue& raw, uint32_t& value,
                 std::wstring& errorText);

// Trims white space at both ends and lower-cases the rest.
std::wstring NormalizeSettingText(const std::wstring& text);

}  // namespace driftglass
