#pragma once
// Which detours a configuration needs, and what those detours, once installed, let a change of the
// INI do while the game plays. The installer creates exactly the plan; the settings watcher is
// handed what the installation holds, so what applies while playing never is worked out twice.

#include "config/plugin_config.h"
#include "host/hook_slots.h"

namespace driftglass {

struct DetourPlan {
  bool step[kDetourStepCount] = {};
  bool any() const;
};

// The detours this configuration asks for; none at all means nothing was requested.
DetourPlan PlanDetours(const PluginConfig& config);
// What the detours in created (for this configuration) offer live tuning; reporter: the telemetry
// reporter thread runs.
LiveHooks LiveHooksOf(const PluginConfig& config, const DetourPlan& created, bool reporter);
// The reporter runs with the telemetry line or the motion trace.
bool ReporterRequested(const PluginConfig& config);

}  // namespace driftglass
