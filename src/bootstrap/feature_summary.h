#pragma once

#include <string>

#include "config/plugin_config.h"

namespace driftglass {

const wchar_t* BoolText(bool value);

// "Requested features: RenderUnlock=false, ..., TelemetryInterval=5s"
std::wstring FormatFeatureSummary(const PluginConfig& config);

// Whether any setting asks for an engine hook (PresentationLimiter and ragdoll poses alone do not).
bool AnyEngineHookRequested(const PluginConfig& config);

}  // namespace driftglass
