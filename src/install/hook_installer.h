#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "config/plugin_config.h"
#include "host/engine_mappings.h"

namespace driftglass {

class DiagnosticLog;
struct HookBackend;

// What the bootstrap thread asks the installer for: the host, the settings read at start-up and
// where the motion trace goes.
struct HookInstallRequest {
  const void* hostImageBase = nullptr;
  PluginConfig settings;
  std::wstring motionTracePath;
};

// The installer's process-wide results; owned by the bootstrap edge and handed inward.
struct HookInstallation {
  EngineMappings mappings;
  uintptr_t sdlGetRelativeMouseMode = 0;
  HANDLE telemetryStopEvent = nullptr;
  const HookBackend* backend = nullptr;  // the detour engine unless a test substitutes one
  // What the installed detours let a change of the INI do while the game plays; 0 until they are live.
  LiveHooks liveHooks = 0;
  // The kernel calls that start the telemetry reporter; tests substitute failing ones.
  decltype(&CreateEventW) createEvent = &CreateEventW;
  decltype(&CreateThread) createThread = &CreateThread;
};

// Binds the plug-in to the host: validates the executable and resolves every address, creates
// the requested detours, enables them in one step and starts the telemetry reporter. On failure
// nothing is left patched.
bool InstallHooks(const HookInstallRequest& request, HookInstallation& installation,
                  DiagnosticLog& log, std::wstring& errorText);

// "<step> failed: <status name>"
std::wstring FormatHookStatus(const std::wstring& step, int status);
// "0x" and eight upper-case hex digits of the address's offset from the host image base.
std::wstring FormatRva(uintptr_t address, const void* hostImageBase);

}  // namespace driftglass
