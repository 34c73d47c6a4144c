#include "config/settings_change.h"

#include <cwchar>

namespace driftglass {
namespace {

constexpr const wchar_t* kFileOrder[] = {L"General", L"Telemetry", L"Features", L"Timing"};

}  // namespace

SettingKeys ChangedSettings(const PluginConfig& before, const PluginConfig& after) {
  SettingKeys changed = 0;
  for (const SettingDeclaration& s : kSettings) {
    if (SettingValue(before, s.key) != SettingValue(after, s.key)) changed |= SettingBit(s.key);
  }
  return changed;
}

std::wstring DescribeSettings(SettingKeys keys, const PluginConfig& before, const PluginConfig& after) {
  std::wstring text;
  for (const wchar_t* section : kFileOrder) {
    for (const SettingDeclaration& s : kSettings) {
      if ((keys & SettingBit(s.key)) == 0 || wcscmp(s.section, section) != 0) continue;
      if (!text.empty()) text += L", ";
      text += SettingLabel(s.key);
      text += L" " + FormatSettingValue(s.key, SettingValue(before, s.key)) + L" -> " +
              FormatSettingValue(s.key, SettingValue(after, s.key));
    }
  }
  return text;
}

PluginConfig WithSettings(PluginConfig into, SettingKeys keys, const PluginConfig& from) {
  for (const SettingDeclaration& s : kSettings) {
    if ((keys & SettingBit(s.key)) != 0) SetSettingValue(into, s.key, SettingValue(from, s.key));
  }
  return into;
}

}  // namespace driftglass
