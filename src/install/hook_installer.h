#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "config/plugin_config.h"
#include "host/engine_mappings.h"

namespace driftglass {

class DiagnosticLog;
struct HookBackend;

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
  uint32_t phaseDelayPercent = kDefaultPhaseDelayPercent;
  bool presentationLimiter = false;  // paces frames; only with renderUnlock
  uint32_t targetFps = 0;            // 0: the display's refresh rate
  uint32_t compareKey = 0;           // virtual-key code; 0: none
};

// The installer's process-wide results; owned by the bootstrap edge and handed inward.
struct HookInstallation {
  EngineMappings mappings;
  uintptr_t sdlGetRelativeMouseMode = 0;
  HANDLE telemetryStopEvent = nullptr;
  const HookBackend* backend = nullptr;  // the detour engine unless a test substitutes one
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
