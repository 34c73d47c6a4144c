#include "config/plugin_config.h"

#include "config/key_names.h"

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

}  // namespace

std::wstring NormalizeSettingText(const std::wstring& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && iswspace(text[first])) ++first;
  while (last > first && iswspace(text[last - 1])) --last;
  std::wstring result = text.substr(first, last - first);
  for (wchar_t& c : result) c = static_cast<wchar_t>(towlower(c));
  return result;
}

ProfileValue ReadProfileValue(const std::wstring& path, const wchar_t* section,
                              const wchar_t* key) {
  wchar_t buffer[kProfileBufferCapacity] = {};
  const DWORD length = GetPrivateProfileStringW(section, key, kMissingMarker, buffer,
                                                kProfileBufferCapacity, path.c_str());
  ProfileValue value;
  if (length == 0) return value;
  const size_t markerLength = sizeof(kMissingMarker) / sizeof(wchar_t) - 1;
  if (length == markerLength && wmemcmp(buffer, kMissingMarker, markerLength) == 0) return value;
  value.present = true;
  value.truncated = length >= kProfileBufferCapacity - 1;
  value.raw.assign(buffer, length < kProfileBufferCapacity ? length : kProfileBufferCapacity - 1);
  return value;
}

bool ReadBoolSetting(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                     bool defaultValue, bool& value, std::wstring& errorText) {
  const ProfileValue raw = ReadProfileValue(path, section, key);
  if (!raw.present) {
    value = defaultValue;
    return true;
  }
  const std::wstring text = NormalizeSettingText(raw.raw);
  if (!raw.truncated) {
    if (text == L"1" || text == L"true" || text == L"yes" || text == L"on") {
      value = true;
      return true;
    }
    if (text == L"0" || text == L"false" || text == L"no" || text == L"off") {
      value = false;
      return true;
    }
  }
  errorText = std::wstring(L"Invalid boolean value for [") + section + L"] " + key + L": " + raw.raw;
  return false;
}

bool ReadUnsignedSetting(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                         uint32_t defaultValue, uint32_t minimum, uint32_t maximum,
                         uint32_t& value, std::wstring& errorText) {
  const ProfileValue raw = ReadProfileValue(path, section, key);
  if (!raw.present) {
    value = defaultValue;
    return true;
  }
  switch (ParseUnsignedValue(raw, minimum, maximum, value)) {
    case UnsignedParse::kOk:
      return true;
    case UnsignedParse::kInvalid:
      errorText = std::wstring(L"Invalid unsigned value for [") + section + L"] " + key + L": " +
                  raw.raw;
      return false;
    case UnsignedParse::kOutOfRange:
      break;
  }
  errorText = std::wstring(L"Out-of-range value for [") + section + L"] " + key + L" (expected " +
              std::to_wstring(minimum) + L".." + std::to_wstring(maximum) + L"): " + raw.raw;
  return false;
}

bool ReadTargetFps(const std::wstring& path, uint32_t& value, std::wstring& errorText) {
  const ProfileValue raw = ReadProfileValue(path, L"Timing", L"TargetFPS");
  if (!raw.present) {
    value = 0;
    return true;
  }
  switch (ParseUnsignedValue(raw, 0, 1000, value)) {
    case UnsignedParse::kOk:
      return true;
    case UnsignedParse::kInvalid:
      errorText = L"Invalid [Timing] TargetFPS: " + raw.raw;
      return false;
    case UnsignedParse::kOutOfRange:
      break;
  }
  errorText = L"Invalid [Timing] TargetFPS (expected 0..1000): " + raw.raw;
  return false;
}

bool ReadKeySetting(const std::wstring& path, const wchar_t* section, const wchar_t* key, uint32_t& value,
                    std::wstring& errorText) {
  const ProfileValue raw = ReadProfileValue(path, section, key);
  value = 0;
  if (!raw.present) return true;
  const std::wstring text = NormalizeSettingText(raw.raw);
  if (text.empty()) return true;
  value = raw.truncated ? 0 : VirtualKeyOfName(text.c_str());
  if (value != 0) return true;
  errorText = std::wstring(L"Invalid key name for [") + section + L"] " + key + L": " + raw.raw +
              L" (expected a key such as F9, Pause, Insert, K or Numpad5; nothing for no key)";
  return false;
}

PluginConfigResult LoadPluginConfig(const std::wstring& path) {
  PluginConfigResult result;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    result.errorText = L"Configuration file not found: " + path;
    return result;
  }
  PluginConfig& c = result.config;
  FeatureFlags& f = c.features;
  std::wstring& error = result.errorText;
  const bool ok =
      ReadBoolSetting(path, L"General", L"Enabled", true, c.enabled, error) &&
      ReadBoolSetting(path, L"General", L"Diagnostics", true, c.diagnostics, error) &&
      ReadBoolSetting(path, L"Telemetry", L"Enabled", true, c.telemetryEnabled, error) &&
      ReadBoolSetting(path, L"Telemetry", L"MotionTrace", false, c.motionTrace, error) &&
      ReadUnsignedSetting(path, L"Telemetry", L"ReportIntervalSeconds", 5, 1, 60,
                          c.reportIntervalSeconds, error) &&
      ReadBoolSetting(path, L"Features", L"RenderUnlock", false, f.renderUnlock, error) &&
      ReadBoolSetting(path, L"Features", L"PresentationLimiter", false, f.presentationLimiter,
                      error) &&
      ReadBoolSetting(path, L"Features", L"CameraInterpolation", false, f.cameraInterpolation,
                      error) &&
      ReadBoolSetting(path, L"Features", L"HandsRootInterpolation", false,
                      f.handsRootInterpolation, error) &&
      ReadBoolSetting(path, L"Features", L"WorldRootInterpolation", false,
                      f.worldRootInterpolation, error) &&
      ReadBoolSetting(path, L"Features", L"HandsPoseInterpolation", false,
                      f.handsPoseInterpolation, error) &&
      ReadBoolSetting(path, L"Features", L"WorldPoseInterpolation", false,
                      f.worldPoseInterpolation, error) &&
      ReadBoolSetting(path, L"Features", L"RagdollPoseInterpolation", true,
                      f.ragdollPoseInterpolation, error) &&
      ReadBoolSetting(path, L"Features", L"ParticleInterpolation", false, f.particleInterpolation,
                      error) &&
      ReadBoolSetting(path, L"Features", L"ImageTrailTiming", false, f.imageTrailTiming, error) &&
      ReadBoolSetting(path, L"Features", L"MouseOverlay", false, f.mouseOverlay, error) &&
      ReadTargetFps(path, c.targetFps, error) &&
      ReadUnsignedSetting(path, L"Timing", L"PhaseDelayPercent", kDefaultPhaseDelayPercent, 0, 100,
                          c.phaseDelayPercent, error) &&
      ReadKeySetting(path, L"General", L"CompareKey", c.compareKey, error);
  result.succeeded = ok;
  return result;
}

}  // namespace driftglass
