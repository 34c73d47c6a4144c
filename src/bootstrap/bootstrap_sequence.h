#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace driftglass {

class DiagnosticLog;
struct HookInstallation;

enum BootstrapExitCode : uint32_t {
  kBootstrapCompleted = 0,  // hooks active, plug-in disabled, or nothing requested
  kBootstrapNoModulePath = 1,
  kBootstrapConfigRejected = 2,
  kBootstrapHooksFailed = 3,
};

extern const wchar_t kProductVersion[];

// The whole start-up decision for the plug-in module: locations, log, configuration, installer.
// Every outcome is written to log; the host keeps running whatever happens.
uint32_t RunBootstrap(HMODULE pluginModule, DiagnosticLog& log, HookInstallation& installation);
// The same sequence once the plug-in's own path is known.
uint32_t RunBootstrapForPath(const std::wstring& modulePath, DiagnosticLog& log,
                             HookInstallation& installation);

// Thread entry started at process attach; runs RunBootstrap with the process-wide state.
DWORD WINAPI BootstrapThreadProc(LPVOID pluginModule);

}  // namespace driftglass
