#include "bootstrap/feature_summary.h"

#include <cwchar>

#include "install/detour_plan.h"

namespace driftglass {

const wchar_t* BoolText(bool value) { return value ? L"true" : L"false"; }

std::wstring FormatFeatureSummary(const PluginConfig& config) {
  // The switches first, then the limiter's rate, then what the reporter does.
  constexpr const wchar_t* kSections[] = {L"Features", L"Timing", L"Telemetry"};
  std::wstring text = L"Requested features: ";
  bool first = true;
  for (const wchar_t* section : kSections) {
    for (const SettingDeclaration& s : kSettings) {
      if (s.summaryLabel == nullptr || wcscmp(s.section, section) != 0) continue;
      if (!first) text += L", ";
      first = false;
      text += s.summaryLabel;
      text += L"=" + FormatSettingValue(s.key, SettingValue(config, s.key)) + s.summaryUnit;
    }
  }
  return text;
}

bool AnyEngineHookRequested(const PluginConfig& config) { return PlanDetours(config).any(); }

}  // namespace driftglass
