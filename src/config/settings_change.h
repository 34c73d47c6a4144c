#pragma once
// What differs between two readings of the INI, key by key, and how each difference reads in the
// log ("TargetFPS 0 -> 141"), in the order the keys stand in the file.

#include <string>

#include "config/plugin_config.h"

namespace driftglass {

// The keys whose values differ.
SettingKeys ChangedSettings(const PluginConfig& before, const PluginConfig& after);
// "Key old -> new" for each key in keys, in file order ([General], [Telemetry], [Features],
// [Timing]), joined by ", ".
std::wstring DescribeSettings(SettingKeys keys, const PluginConfig& before, const PluginConfig& after);
// The keys' values of from, the others of into.
PluginConfig WithSettings(PluginConfig into, SettingKeys keys, const PluginConfig& from);

}  // namespace driftglass
