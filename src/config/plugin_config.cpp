#include "config/plugin_config.h"

#include "config/key_names.h"
#include "config/profile_text.h"

#include <windows.h>

#include <cerrno>
#include <cwchar>
#include <cwctype>

namespace driftglass {
namespace {

constexpr DWORD kProfileBufferCapacity = 128;
constexpr wchar_t kMissingMarker[] = L"{7C190868-382E-4A3F-BB29-MISSING}";

enum class UnsignedParse { kOk, kInvalid, kOutOfRange };

// Shared by the interval and the frame-rate readers, which differ only in their texts.
UnsignedParse ParseUnsignedValue(const ProfileValue& value, uint32_t minimum, uint32_t maximum,
                                 uint32_t& parsed) {
  const std::wstring text = NormalizeSettingText(value.raw);
  if (text.empty() || text[0] == L'-') return UnsignedParse::kInvalid;
  // A value that filled the read buffer may have been cut short: never read it as a number.
  if (value.truncated) return UnsignedParse::kOutOfRange;
  errno = 0;
  wchar_t* end = nullptr;
  const unsigned long number = wcstoul(text.c_str(), &end, 10);
  const bool rangeError = errno == ERANGE;
  const bool consumedSome = end != text.c_str();
  const bool consumedAll = end == text.c_str() + text.size();
  if (rangeError || !consumedSome || !consumedAll || number < minimum || number > maximum) {
    return UnsignedParse::kOutOfRange;
  }
  parsed = static_cast<uint32_t>(number);
  return UnsignedParse::kOk;
}

// What the profile function left in its buffer, as the reader sees it.
ProfileValue ValueOfBuffer(const wchar_t* buffer, DWORD length) {
  ProfileValue value;
  if (length == 0) return value;
  const size_t markerLength = sizeof(kMissingMarker) / sizeof(wchar_t) - 1;
  if (length == markerLength && wmemcmp(buffer, kMissingMarker, markerLength) == 0) return value;
  value.present = true;
  value.truncated = length >= kProfileBufferCapacity - 1;
  value.raw.assign(buffer, length < kProfileBufferCapacity ? length : kProfileBufferCapacity - 1);
  return value;
}

bool ReadBool(const SettingDeclaration& s, const ProfileValue& raw, uint32_t& value, std::wstring& errorText) {
  const std::wstring text = NormalizeSettingText(raw.raw);
  if (!raw.truncated) {
    if (text == L"1" || text == L"true" || text == L"yes" || text == L"on") {
      value = 1;
      return true;
    }
    if (text == L"0" || text == L"false" || text == L"no" || text == L"off") {
      value = 0;
      return true;
    }
  }
  errorText = std::wstring(L"Invalid boolean value for [") + s.section + L"] " + s.name + L": " + raw.raw;
  return false;
}

bool ReadUnsigned(const SettingDeclaration& s, const ProfileValue& raw, uint32_t& value, std::wstring& errorText) {
  const UnsignedParse parsed = ParseUnsignedValue(raw, s.minimum, s.maximum, value);
  if (parsed == UnsignedParse::kOk) return true;
  const std::wstring range = std::to_wstring(s.minimum) + L".." + std::to_wstring(s.maximum);
  const std::wstring where = std::wstring(L"[") + s.section + L"] " + s.name;
  if (s.kind == SettingKind::kFrameRate) {
    errorText = parsed == UnsignedParse::kInvalid ? L"Invalid " + where + L": " + raw.raw
                                                  : L"Invalid " + where + L" (expected " + range + L"): " + raw.raw;
  } else {
    errorText = parsed == UnsignedParse::kInvalid
                    ? L"Invalid unsigned value for " + where + L": " + raw.raw
                    : L"Out-of-range value for " + where + L" (expected " + range + L"): " + raw.raw;
  }
  return false;
}

bool ReadKey(const SettingDeclaration& s, const ProfileValue& raw, uint32_t& value, std::wstring& errorText) {
  const std::wstring text = NormalizeSettingText(raw.raw);
  // "none" is how the log shows no key, so it reads back as none.
  if (text.empty() || text == L"none") {
    value = 0;
    return true;
  }
  value = raw.truncated ? 0 : VirtualKeyOfName(text.c_str());
  if (value != 0) return true;
  errorText = std::wstring(L"Invalid key name for [") + s.section + L"] " + s.name + L": " + raw.raw +
              L" (expected a key such as F9, Pause, Insert, K or Numpad5; nothing for no key)";
  return false;
}

template <typename Source>
PluginConfigResult ReadAll(const Source& source) {
  PluginConfigResult result;
  for (const SettingDeclaration& s : kSettings) {
    uint32_t value = 0;
    if (!ReadSetting(s, ReadProfileValue(source, s.section, s.name), value, result.errorText)) return result;
    SetSettingValue(result.config, s.key, value);
  }
  result.succeeded = true;
  return result;
}

}  // namespace

uint32_t SettingValue(const PluginConfig& c, uint32_t key) {
  const FeatureFlags& f = c.features;
  switch (static_cast<SettingKey>(key)) {
    case kSettingEnabled: return c.enabled;
    case kSettingDiagnostics: return c.diagnostics;
    case kSettingTelemetryEnabled: return c.telemetryEnabled;
    case kSettingMotionTrace: return c.motionTrace;
    case kSettingReportInterval: return c.reportIntervalSeconds;
    case kSettingRenderUnlock: return f.renderUnlock;
    case kSettingPresentationLimiter: return f.presentationLimiter;
    case kSettingCameraInterpolation: return f.cameraInterpolation;
    case kSettingHandsRootInterpolation: return f.handsRootInterpolation;
    case kSettingWorldRootInterpolation: return f.worldRootInterpolation;
    case kSettingHandsPoseInterpolation: return f.handsPoseInterpolation;
    case kSettingWorldPoseInterpolation: return f.worldPoseInterpolation;
    case kSettingRagdollPoseInterpolation: return f.ragdollPoseInterpolation;
    case kSettingParticleInterpolation: return f.particleInterpolation;
    case kSettingImageTrailTiming: return f.imageTrailTiming;
    case kSettingMouseOverlay: return f.mouseOverlay;
    case kSettingTargetFps: return c.targetFps;
    case kSettingPhaseDelayPercent: return c.phaseDelayPercent;
    case kSettingCompareKey: return c.compareKey;
    case kSettingCount: break;
  }
  return 0;
}

void SetSettingValue(PluginConfig& c, uint32_t key, uint32_t value) {
  FeatureFlags& f = c.features;
  const bool on = value != 0;
  switch (static_cast<SettingKey>(key)) {
    case kSettingEnabled: c.enabled = on; break;
    case kSettingDiagnostics: c.diagnostics = on; break;
    case kSettingTelemetryEnabled: c.telemetryEnabled = on; break;
    case kSettingMotionTrace: c.motionTrace = on; break;
    case kSettingReportInterval: c.reportIntervalSeconds = value; break;
    case kSettingRenderUnlock: f.renderUnlock = on; break;
    case kSettingPresentationLimiter: f.presentationLimiter = on; break;
    case kSettingCameraInterpolation: f.cameraInterpolation = on; break;
    case kSettingHandsRootInterpolation: f.handsRootInterpolation = on; break;
    case kSettingWorldRootInterpolation: f.worldRootInterpolation = on; break;
    case kSettingHandsPoseInterpolation: f.handsPoseInterpolation = on; break;
    case kSettingWorldPoseInterpolation: f.worldPoseInterpolation = on; break;
    case kSettingRagdollPoseInterpolation: f.ragdollPoseInterpolation = on; break;
    case kSettingParticleInterpolation: f.particleInterpolation = on; break;
    case kSettingImageTrailTiming: f.imageTrailTiming = on; break;
    case kSettingMouseOverlay: f.mouseOverlay = on; break;
    case kSettingTargetFps: c.targetFps = value; break;
    case kSettingPhaseDelayPercent: c.phaseDelayPercent = value; break;
    case kSettingCompareKey: c.compareKey = value; break;
    case kSettingCount: break;
  }
}

std::wstring NormalizeSettingText(const std::wstring& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && iswspace(text[first])) ++first;
  while (last > first && iswspace(text[last - 1])) --last;
  std::wstring result = text.substr(first, last - first);
  for (wchar_t& c : result) c = static_cast<wchar_t>(towlower(c));
  return result;
}

ProfileValue ReadProfileValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
  wchar_t buffer[kProfileBufferCapacity] = {};
  const DWORD length = GetPrivateProfileStringW(section, key, kMissingMarker, buffer, kProfileBufferCapacity,
                                                path.c_str());
  return ValueOfBuffer(buffer, length);
}

ProfileValue ReadProfileValue(const ProfileText& text, const wchar_t* section, const wchar_t* key) {
  wchar_t buffer[kProfileBufferCapacity] = {};
  const uint32_t length = text.Read(section, key, kMissingMarker, buffer, kProfileBufferCapacity);
  return ValueOfBuffer(buffer, length);
}

bool ReadSetting(const SettingDeclaration& setting, const ProfileValue& raw, uint32_t& value,
                 std::wstring& errorText) {
  if (!raw.present) {
    value = setting.defaultValue;
    return true;
  }
  switch (setting.kind) {
    case SettingKind::kBool: return ReadBool(setting, raw, value, errorText);
    case SettingKind::kUnsigned:
    case SettingKind::kFrameRate: return ReadUnsigned(setting, raw, value, errorText);
    case SettingKind::kKey: return ReadKey(setting, raw, value, errorText);
  }
  return false;
}

PluginConfigResult LoadPluginConfig(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    PluginConfigResult result;
    result.errorText = L"Configuration file not found: " + path;
    return result;
  }
  return ReadAll(path);
}

PluginConfigResult ParsePluginConfig(const ProfileText& text) { return ReadAll(text); }

}  // namespace driftglass
