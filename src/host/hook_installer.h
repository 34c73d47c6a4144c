#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "host/engine_mappings.h"

namespace driftglass {

class DiagnosticLog;

// What the bootstrap thread asks the installer for, in the order it hands the values over.
struct HookInstallRequest {
  const void* hostImageBase = nullptr;
  bool telemetryEnabled = false;
  bool renderUnlock = false;
  bool cameraInterpolation = false;
  bool handsRootInterpolation = false;
  bool worldRootInterpolation = false;
  bool handsPoseInterpolation = false;
  bool worldPoseInterpolation = false;
  bool ragdollPoseInterpolation = false;
  bool particleInterpolation = false;
  bool imageTrailTiming = false;
  bool mouseOverlay = false;
  bool motionTrace = false;
  std::wstring motionTracePath;
  uint32_t reportIntervalSeconds = 5;
};

// The installer's process-wide results; owned by the bootstrap edge and handed inward.
struct HookInstallation {
  EngineMappings mappings;
};

// Binds the plug-in to the host: validates the executable and resolves every address, then
// creates and enables the requested detours. On failure nothing is left installed.
bool InstallHooks(const HookInstallRequest& request, HookInstallation& installation,
                  DiagnosticLog& log, std::wstring& errorText);

}  // namespace driftglass
