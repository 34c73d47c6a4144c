#pragma once

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

class DiagnosticLog;

// What the engine-run detour is asked to do, published by the installer before it is enabled.
struct EngineRunSettings {
  bool presentationTimingWanted = false;
  bool renderUnlockWanted = false;
  uintptr_t sdlGetTicks = 0;
};

// The logic timer captured while the engine's loop runs.
struct LogicTimerAccess {
  const void* logicTimer = nullptr;
  bool residualAvailable = false;
  double tickOffsetMs = 0.0;  // SDL_GetTicks minus WallSeconds x 1000 at acquisition
};

EngineRunSettings& ProcessEngineRunSettings();
LogicTimerAccess& ProcessLogicTimerAccess();

// Clears the frame-limit flag for the loop's duration and captures the logic timer.
void DRIFTGLASS_THISCALL EngineRunDetour(void* engine);

// The same, with its state and the engine's own loop handed in (for tests).
using EngineLoopFunction = void(DRIFTGLASS_THISCALL*)(void*);
void RunEngineWithPresentation(void* engine, EngineLoopFunction loop, const EngineRunSettings& settings,
                               LogicTimerAccess& access, DiagnosticLog& log);

// The residual of the current fixed step at wall time nowWallSeconds, less phase; false when
// the timer is not captured, not readable or its values are out of range.
bool QueryLogicTimerResidual(double nowWallSeconds, double phase, double& alpha, double& raw);
bool QueryLogicTimerResidual(const EngineRunSettings& settings, const LogicTimerAccess& access,
                             double nowWallSeconds, double phase, double& alpha, double& raw);

}  // namespace driftglass
