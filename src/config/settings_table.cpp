#include "config/settings_table.h"

#include <cwchar>

#include "config/key_names.h"

namespace driftglass {

const wchar_t* SettingName(uint32_t key) { return key < kSettingCount ? kSettings[key].name : L"unknown"; }

const wchar_t* SettingLabel(uint32_t key) {
  return key == kSettingTelemetryEnabled ? L"[Telemetry] Enabled" : SettingName(key);
}

std::wstring FormatSettingValue(uint32_t key, uint32_t value) {
  if (key >= kSettingCount) return L"";
  switch (kSettings[key].kind) {
    case SettingKind::kBool: return value != 0 ? L"true" : L"false";
    case SettingKind::kUnsigned:
    case SettingKind::kFrameRate: return std::to_wstring(value);
    case SettingKind::kKey: {
      wchar_t name[32] = {};
      FormatKeyName(value, name, 32);
      return name[0] != L'\0' ? name : L"none";
    }
  }
  return L"";
}

LiveHooks WithSwitchable(LiveHooks installed) {
  for (const SettingDeclaration& s : kSettings) {
    if (s.switchedAs != nullptr && (installed & s.live) == s.live) return installed | kLiveSwitchable;
  }
  return installed & ~kLiveSwitchable;
}

SettingKeys LiveSettingKeys(LiveHooks installed) {
  installed = WithSwitchable(installed);
  SettingKeys keys = 0;
  for (const SettingDeclaration& s : kSettings) {
    const LiveHooks needs = s.live | kLiveTick;
    if (s.live != kNextStart && (installed & needs) == needs) keys |= SettingBit(s.key);
  }
  return keys;
}

std::wstring CompareKeySwitches(LiveHooks installed) {
  std::wstring list;
  for (const SettingDeclaration& s : kSettings) {
    if (s.switchedAs == nullptr || (installed & s.live) != s.live) continue;
    if (!list.empty()) list += L", ";
    list += s.switchedAs;
  }
  return list;
}

}  // namespace driftglass
