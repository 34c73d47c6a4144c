#pragma once
// What differs between two readings of the INI, key by key in file order, and how each
// difference reads in the log ("TargetFPS 0 -> 141").

#include <cstdint>
#include <string>

#include "config/plugin_config.h"

namespace driftglass {

enum SettingKey : uint32_t {
  kSettingEnabled = 0,
  kSettingDiagnostics,
  kSettingCompareKey,
  kSettingTelemetryEnabled,
  kSettingMotionTrace,
  kSettingReportInterval,
  kSettingRenderUnlock,
  kSettingPresentationLimiter,
  kSettingCameraInterpolation,
  kSettingHandsRootInterpolation,
  kSettingWorldRootInterpolation,
  kSettingHandsPoseInterpolation,
  kSettingWorldPoseInterpolation,
  kSettingRagdollPoseInterpolation,
  kSettingParticleInterpolation,
  kSettingImageTrailTiming,
  kSettingMouseOverlay,
  kSettingTargetFps,
  kSettingPhaseDelayPercent,
  kSettingCount,
};

// One bit per SettingKey.
using SettingKeys = uint32_t;
constexpr SettingKeys SettingBit(uint32_t key) { return SettingKeys{1} << key; }

// The key as written in the INI ("TargetFPS").
const wchar_t* SettingName(uint32_t key);
// The keys whose values differ.
SettingKeys ChangedSettings(const PluginConfig& before, const PluginConfig& after);
// "Key old -> new" for each key in keys, in file order, joined by ", ".
std::wstring DescribeSettings(SettingKeys keys, const PluginConfig& before, const PluginConfig& after);

}  // namespace driftglass
