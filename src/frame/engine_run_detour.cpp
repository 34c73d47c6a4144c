#include "frame/engine_run_detour.h"

#include <windows.h>

#include "diag/telemetry_reporter.h"
#include "host/guarded_memory.h"
#include "log/diagnostic_log.h"
#include "timing/logic_timer_residual.h"
#include "timing/render_unlock_state.h"
#include "timing/wall_clock.h"

namespace driftglass {
namespace {

constexpr uintptr_t kLogicTimerOffset = 24;
constexpr uintptr_t kLimitFpsOffset = 40;
constexpr size_t kLogicTimerBytes = 32;

void ReleaseTimer(LogicTimerAccess& access) {
  access.logicTimer = nullptr;
  access.residualAvailable = false;
}

constexpr double kEdgeWaitSeconds = 0.005;
constexpr int kEdgeMeasurements = 6;

// The tick clock counts whole milliseconds, so one reading can be up to 1 ms behind the wall
// clock; that error shifts every frame's fraction and makes frames that follow a tick closely
// fail their range check. The count steps after the last reading of the old count began and
// before the first reading of the new one ended, so wall-clock readings around both bracket the
// step. A pause anywhere in between (a busy machine) only widens that bracket, so the middle of
// the narrowest of a few is kept; a clock that does not step within 5 ms gets the single reading.
double MeasureTickOffsetMs(uint32_t (*getTicks)()) {
  double before = WallSeconds();
  uint32_t ticks = getTicks();
  double after = WallSeconds();
  double best = static_cast<double>(ticks) - before * 1000.0;
  double narrowest = 0.0;
  bool edgeSeen = false;
  for (int edge = 0; edge < kEdgeMeasurements; ++edge) {
    const uint32_t old = ticks;
    double oldBefore = before;
    const double giveUp = after + kEdgeWaitSeconds;
    while (ticks == old && after <= giveUp) {
      oldBefore = before;
      before = WallSeconds();
      ticks = getTicks();
      after = WallSeconds();
    }
    if (ticks == old) break;
    const double width = after - oldBefore;
    if (!edgeSeen || width < narrowest) {
      edgeSeen = true;
      narrowest = width;
      best = static_cast<double>(ticks) - (oldBefore + after) * 500.0;
    }
  }
  return best;
}

void AcquireTimer(void* engine, const EngineRunSettings& settings, LogicTimerAccess& access,
                  DiagnosticLog& log) {
  const void* timer = nullptr;
  if (!ReadHostValue(engine, kLogicTimerOffset, timer)) timer = nullptr;
  if (IsRangeReadable(timer, kLogicTimerBytes) && settings.sdlGetTicks != 0) {
    access.logicTimer = timer;
    access.tickOffsetMs = MeasureTickOffsetMs(reinterpret_cast<uint32_t (*)()>(settings.sdlGetTicks));
    access.residualAvailable = true;
    log.WriteLine(kLogInfo,
                  L"HPL logic-timer residual acquired from cEngine::mpLogicTimer; presentation "
                  L"retains only previous/current fixed states.");
  } else {
    ReleaseTimer(access);
    log.WriteLine(kLogError, L"HPL logic-timer layout validation failed; interpolation will fail closed.");
  }
}

}  // namespace

EngineRunSettings& ProcessEngineRunSettings() {
  static EngineRunSettings settings;
  return settings;
}

LogicTimerAccess& ProcessLogicTimerAccess() {
  static LogicTimerAccess access;
  return access;
}

void RunEngineWithPresentation(void* engine, EngineLoopFunction loop,
                               const EngineRunSettings& settings, LogicTimerAccess& access,
                               DiagnosticLog& log) {
  std::atomic<uint32_t>& unlockState = ProcessRenderUnlockState();
  if (engine == nullptr) {
    if (settings.renderUnlockWanted) unlockState.store(kRenderUnlockRejected);
    log.WriteLine(kLogError, L"cEngine::Run received a null instance; presentation timing is unavailable.");
    loop(engine);
    return;
  }
  if (settings.presentationTimingWanted) AcquireTimer(engine, settings, access, log);
  if (!settings.renderUnlockWanted) {
    loop(engine);
    ReleaseTimer(access);
    return;
  }
  uint8_t limitFps = 0;
  auto* flag = static_cast<uint8_t*>(engine) + kLimitFpsOffset;
  if (!ReadHostValue(engine, kLimitFpsOffset, limitFps) || limitFps > 1 ||
      !IsRangeWritable(flag, 1)) {
    // Not a boolean (or not there): the layout is not the one this build knows.
    unlockState.store(kRenderUnlockRejected);
    log.WriteLine(kLogError,
                  L"Render unlock rejected: cEngine::mbLimitFPS failed its runtime boolean layout "
                  L"check.");
    loop(engine);
    ReleaseTimer(access);  // the timer may not outlive the loop
    return;
  }
  *flag = 0;
  unlockState.store(kRenderUnlockActive);
  log.WriteLine(kLogInfo,
                L"Render unlock applied at cEngine::Run: mbLimitFPS=false; the fixed-step logic "
                L"timer is unchanged.");
  loop(engine);
  ReleaseTimer(access);
  if (IsRangeWritable(flag, 1)) *flag = limitFps;
  unlockState.store(kRenderUnlockFinished);
}

void DRIFTGLASS_THISCALL EngineRunDetour(void* engine) {
  // A game that enters its loop again (after leaving it for a menu or a restart) is reported again.
  ResumeTelemetryReport();
  RunEngineWithPresentation(engine, Original<EngineLoopFunction>(kDetourEngineRun),
                            ProcessEngineRunSettings(), ProcessLogicTimerAccess(), ProcessLog());
  // The game is quitting: the frames since the last report reach the log and the trace now, not
  // at process detach, where the loader lock forbids it.
  FinishTelemetryReport();
}

bool QueryLogicTimerResidual(const EngineRunSettings& settings, const LogicTimerAccess& access,
                             double nowWallSeconds, double phase, double& alpha, double& raw) {
  alpha = 0.0;
  raw = 0.0;
  if (!settings.presentationTimingWanted || access.logicTimer == nullptr ||
      settings.sdlGetTicks == 0 || !access.residualAvailable ||
      !IsRangeReadable(access.logicTimer, kLogicTimerBytes)) {
    return false;
  }
  LogicTimerFields fields;
  memcpy(&fields, access.logicTimer, sizeof(fields));
  const double nowMs = nowWallSeconds * 1000.0 + access.tickOffsetMs;
  return ComputeLogicTimerResidual(fields, nowMs, phase, alpha, raw);
}

bool QueryLogicTimerResidual(double nowWallSeconds, double phase, double& alpha, double& raw) {
  return QueryLogicTimerResidual(ProcessEngineRunSettings(), ProcessLogicTimerAccess(),
                                 nowWallSeconds, phase, alpha, raw);
}

}  // namespace driftglass
