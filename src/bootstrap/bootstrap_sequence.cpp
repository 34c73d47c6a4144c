#include "bootstrap/bootstrap_sequence.h"

#include <string>

#include "bootstrap/feature_summary.h"
#include "bootstrap/file_locations.h"
#include "bootstrap/settings_watcher.h"
#include "bootstrap/product_version.h"
#include "config/key_names.h"
#include "config/plugin_config.h"
#include "install/detour_plan.h"
#include "install/hook_installer.h"
#include "log/diagnostic_log.h"

namespace driftglass {
namespace {

// Below this the limiter's frames are fewer than half the engine's ticks.
constexpr uint32_t kLeastSmoothTargetFps = 30;

void Write(DiagnosticLog& log, uint32_t level, const std::wstring& text) {
  log.WriteLine(level, text.c_str(), static_cast<uint32_t>(text.size()));
}

HookInstallRequest MakeInstallRequest(const PluginConfig& config, const PluginFileLocations& locations) {
  HookInstallRequest request;
  request.hostImageBase = GetModuleHandleW(nullptr);
  request.settings = config;
  request.motionTracePath = locations.motionTracePath;
  return request;
}

// "A, B and C" of the list "A, B, C".
std::wstring WithAnd(std::wstring list) {
  const size_t last = list.rfind(L", ");
  if (last != std::wstring::npos) list.replace(last, 2, L" and ");
  return list;
}

void OpenLogWithFallback(DiagnosticLog& log, const PluginFileLocations& locations) {
  if (log.Open(locations.logPath.c_str())) return;
  const std::wstring fallback = GetFallbackLogPath();
  if (!fallback.empty() && log.Open(fallback.c_str())) {
    Write(log, kLogWarn, L"Could not write the sibling log; using: " + fallback);
    return;
  }
  log.SendDebugOutput(L"[Driftglass] Could not open either diagnostic log path.\n");
}

}  // namespace

const wchar_t kProductVersion[] = L"" DRIFTGLASS_VERSION_TEXT;

uint32_t RunBootstrap(HMODULE pluginModule, DiagnosticLog& log, HookInstallation& installation) {
  const std::wstring modulePath = GetModulePath(pluginModule);
  if (modulePath.empty()) {
    log.SendDebugOutput(L"[Driftglass] Could not resolve plugin module path.\n");
    return kBootstrapNoModulePath;
  }
  return RunBootstrapForPath(modulePath, log, installation);
}

uint32_t RunBootstrapForPath(const std::wstring& modulePath, DiagnosticLog& log,
                             HookInstallation& installation) {
  const PluginFileLocations locations = DerivePluginFileLocations(modulePath);
  OpenLogWithFallback(log, locations);

  Write(log, kLogInfo,
        std::wstring(L"Driftglass ") + kProductVersion + L" bootstrap starting (x86)");
  Write(log, kLogDebug, L"Plugin path: " + locations.modulePath);
  Write(log, kLogDebug, L"INI path: " + locations.configPath);

  const PluginConfigResult loaded = LoadPluginConfig(locations.configPath);
  if (!loaded.succeeded) {
    Write(log, kLogError, loaded.errorText);
    Write(log, kLogError, L"Fail-closed: no engine hooks were installed.");
    return kBootstrapConfigRejected;
  }
  const PluginConfig& config = loaded.config;
  log.SetDebugLinesEnabled(config.diagnostics);

  if (!config.enabled) {
    Write(log, kLogInfo, L"Plugin disabled by [General] Enabled=false.");
    return kBootstrapCompleted;
  }
  Write(log, kLogDebug, FormatFeatureSummary(config));

  const std::wstring hostPath = GetModulePath(nullptr);
  if (!hostPath.empty()) {
    Write(log, kLogDebug, L"Host path: " + hostPath);
  } else {
    Write(log, kLogWarn,
          L"Could not resolve the host path; compatibility will be determined from the mapped "
          L"PE image.");
  }

  if (config.features.presentationLimiter && !config.features.renderUnlock) {
    Write(log, kLogWarn,
          L"PresentationLimiter needs RenderUnlock: without it the engine caps its own frame rate. "
          L"The presentation limiter stays off.");
  }
  if (config.features.presentationLimiter && config.features.renderUnlock && config.targetFps != 0 &&
      config.targetFps < kLeastSmoothTargetFps) {
    // The engine still steps 60 ticks a second: between two slow frames they all run at once.
    const uint32_t burst = (60 + config.targetFps - 1) / config.targetFps;
    Write(log, kLogWarn,
          L"[Timing] TargetFPS=" + std::to_wstring(config.targetFps) +
              L" is below 30: the game's logic still steps 60 times a second, so it runs in bursts of "
              L"up to " + std::to_wstring(burst) +
              L" steps between two frames, and input and motion react in jumps. Pacing at it anyway.");
  }
  const DetourPlan plan = PlanDetours(config);
  if (config.compareKey != 0 &&
      (LiveHooksOf(config, plan, ReporterRequested(config)) & kLiveSwitchable) == 0) {
    wchar_t key[16];
    FormatKeyName(config.compareKey, key, 16);
    Write(log, kLogWarn,
          std::wstring(L"Compare key ") + key + L" has nothing to switch: none of " +
              WithAnd(CompareKeySwitches(~LiveHooks{0})) + L" is on. The key is not read.");
  }
  if (!plan.any()) {
    Write(log, kLogInfo,
          L"No engine hooks were requested; executable signature validation was skipped.");
    return kBootstrapCompleted;
  }

  if (config.phaseDelayPercent != SettingDefault(kSettingPhaseDelayPercent)) {
    Write(log, kLogInfo,
          L"Presentation phase delay: " + std::to_wstring(config.phaseDelayPercent) + L"% of a frame (default " +
              std::to_wstring(SettingDefault(kSettingPhaseDelayPercent)) + L"%).");
  }
  std::wstring errorText;
  if (!InstallHooks(MakeInstallRequest(config, locations), installation, log, errorText)) {
    Write(log, kLogError, L"Hook initialization failed: " + errorText);
    Write(log, kLogError, L"Fail-closed: engine hooks were not left installed.");
    return kBootstrapHooksFailed;
  }
  Write(log, kLogInfo, L"Compatible x86 executable signatures accepted. Requested hooks are active.");
  StartSettingsWatcher(locations.configPath, locations.motionTracePath, config, log, installation);
  return kBootstrapCompleted;
}

DWORD WINAPI BootstrapThreadProc(LPVOID pluginModule) {
  // The installation outlives this thread: detours read it for the rest of the process.
  static HookInstallation installation;
  return RunBootstrap(static_cast<HMODULE>(pluginModule), ProcessLog(), installation);
}

}  // namespace driftglass
