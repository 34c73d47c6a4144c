#include "config/settings_change.h"

#include "config/key_names.h"

namespace driftglass {
namespace {

enum class Shown { kBool, kNumber, kKey };

struct SettingField {
  const wchar_t* name;
  Shown shown;
  uint32_t (*value)(const PluginConfig&);
};

// In file order: [General], [Telemetry], [Features], [Timing].
const SettingField kFields[kSettingCount] = {
    {L"Enabled", Shown::kBool, [](const PluginConfig& c) -> uint32_t { return c.enabled; }},
    {L"Diagnostics", Shown::kBool, [](const PluginConfig& c) -> uint32_t { return c.diagnostics; }},
    {L"CompareKey", Shown::kKey, [](const PluginConfig& c) -> uint32_t { return c.compareKey; }},
    {L"Enabled", Shown::kBool, [](const PluginConfig& c) -> uint32_t { return c.telemetryEnabled; }},
    {L"MotionTrace", Shown::kBool, [](const PluginConfig& c) -> uint32_t { return c.motionTrace; }},
    {L"ReportIntervalSeconds", Shown::kNumber,
     [](const PluginConfig& c) -> uint32_t { return c.reportIntervalSeconds; }},
    {L"RenderUnlock", Shown::kBool, [](const PluginConfig& c) -> uint32_t { return c.features.renderUnlock; }},
    {L"PresentationLimiter", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.presentationLimiter; }},
    {L"CameraInterpolation", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.cameraInterpolation; }},
    {L"HandsRootInterpolation", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.handsRootInterpolation; }},
    {L"WorldRootInterpolation", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.worldRootInterpolation; }},
    {L"HandsPoseInterpolation", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.handsPoseInterpolation; }},
    {L"WorldPoseInterpolation", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.worldPoseInterpolation; }},
    {L"RagdollPoseInterpolation", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.ragdollPoseInterpolation; }},
    {L"ParticleInterpolation", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.particleInterpolation; }},
    {L"ImageTrailTiming", Shown::kBool,
     [](const PluginConfig& c) -> uint32_t { return c.features.imageTrailTiming; }},
    {L"MouseOverlay", Shown::kBool, [](const PluginConfig& c) -> uint32_t { return c.features.mouseOverlay; }},
    {L"TargetFPS", Shown::kNumber, [](const PluginConfig& c) -> uint32_t { return c.targetFps; }},
    {L"PhaseDelayPercent", Shown::kNumber, [](const PluginConfig& c) -> uint32_t { return c.phaseDelayPercent; }},
};

std::wstring Show(Shown shown, uint32_t value) {
  switch (shown) {
    case Shown::kBool: return value != 0 ? L"true" : L"false";
    case Shown::kNumber: return std::to_wstring(value);
    case Shown::kKey: {
      wchar_t name[32] = {};
      FormatKeyName(value, name, 32);
      return name[0] != L'\0' ? name : L"none";
    }
  }
  return L"";
}

}  // namespace

const wchar_t* SettingName(uint32_t key) { return key < kSettingCount ? kFields[key].name : L"unknown"; }

SettingKeys ChangedSettings(const PluginConfig& before, const PluginConfig& after) {
  SettingKeys changed = 0;
  for (uint32_t key = 0; key < kSettingCount; ++key) {
    if (kFields[key].value(before) != kFields[key].value(after)) changed |= SettingBit(key);
  }
  return changed;
}

std::wstring DescribeSettings(SettingKeys keys, const PluginConfig& before, const PluginConfig& after) {
  std::wstring text;
  for (uint32_t key = 0; key < kSettingCount; ++key) {
    if ((keys & SettingBit(key)) == 0) continue;
    const SettingField& field = kFields[key];
    if (!text.empty()) text += L", ";
    // [Telemetry] Enabled would read like [General] Enabled without its section.
    text += key == kSettingTelemetryEnabled ? L"[Telemetry] Enabled" : field.name;
    text += L" " + Show(field.shown, field.value(before)) + L" -> " + Show(field.shown, field.value(after));
  }
  return text;
}

}  // namespace driftglass
