#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "diag/telemetry_reporter.h"
#include "frame/engine_run_detour.h"
#include "log/diagnostic_log.h"
#include "timing/logic_timer_residual.h"
#include "timing/render_unlock_state.h"
#include "timing/wall_clock.h"

namespace driftglass {
namespace {

TEST(LogicTimerResidual, FractionOfTheCurrentStep) {
  const LogicTimerFields timer{1000.0, 1000.0, 60.0};  // step 16.667 ms, due at 1000
  const double step = 1000.0 / 60.0;
  double alpha = -1, raw = -1;
  ASSERT_TRUE(ComputeLogicTimerResidual(timer, 1000.0 - step, 0.0, alpha, raw));
  EXPECT_NEAR(raw, 0.0, 1e-12);
  ASSERT_TRUE(ComputeLogicTimerResidual(timer, 1000.0, 0.0, alpha, raw));
  EXPECT_NEAR(raw, 1.0, 1e-12);
  EXPECT_NEAR(alpha, 1.0, 1e-12);
  // raw 0.2 with phase 0.3: adjusted -0.1 is clamped to 0 and still succeeds.
  ASSERT_TRUE(ComputeLogicTimerResidual(timer, 1000.0 - 0.8 * step, 0.3, alpha, raw));
  EXPECT_NEAR(raw, 0.2, 1e-12);
  EXPECT_EQ(alpha, 0.0);
  // raw 1.3 with no phase is past what a frame may see: it fails but reports raw.
  EXPECT_FALSE(ComputeLogicTimerResidual(timer, 1000.0 + 0.3 * step, 0.0, alpha, raw));
  EXPECT_NEAR(raw, 1.3, 1e-12);
  EXPECT_EQ(alpha, 0.0);
}

// raw must lie in [-0.25, 2.25] and raw - phase in [-0.25, 1.25], edges included; the phase is
// chosen so that only the bound under test decides. A 16 ms step keeps the edges exact.
TEST(LogicTimerResidual, RawAndAdjustedBoundsAreInclusiveOnBothSides) {
  const LogicTimerFields timer{1000.0, 16.0, 1.0};
  const double e = 1e-6;
  struct Case {
    double raw, phase;
    bool accepted;
  };
  const Case cases[] = {
      {0.0, 0.0, true},     {0.3, 0.2, true},
      {-0.25, 0.0, true},   {-0.25 - e, 0.0, false},  // lower edge of both
      {0.5, 0.75, true},    {0.5, 0.75 + e, false},   // adjusted below while raw is fine
      {1.25, 0.0, true},    {1.25 + e, 0.0, false},   // adjusted above while raw is fine
      {2.25, 1.0, true},    {2.25 + e, 1.0, false},   // upper edge of raw
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "raw " << c.raw << " phase " << c.phase);
    double alpha = -1, raw = -1;
    const double nowMs = 984.0 + c.raw * 16.0;
    EXPECT_EQ(ComputeLogicTimerResidual(timer, nowMs, c.phase, alpha, raw), c.accepted);
    EXPECT_NEAR(raw, c.raw, 1e-9);
    EXPECT_NEAR(alpha, c.accepted ? std::clamp(c.raw - c.phase, 0.0, 1.0) : 0.0, 1e-9);
  }
}

TEST(LogicTimerResidual, RefusesValuesOutOfRange) {
  double alpha, raw;
  EXPECT_FALSE(ComputeLogicTimerResidual({1000.0, 1500.0, 60.0}, 990.0, 0.0, alpha, raw));
  EXPECT_FALSE(ComputeLogicTimerResidual({1000.0, 1000.0, 0.005}, 990.0, 0.0, alpha, raw));
  EXPECT_FALSE(ComputeLogicTimerResidual({NAN, 1000.0, 60.0}, 990.0, 0.0, alpha, raw));
  EXPECT_FALSE(ComputeLogicTimerResidual({1000.0, 1000.0, 60.0}, INFINITY, 0.0, alpha, raw));
  EXPECT_FALSE(ComputeLogicTimerResidual({1000.0, 1000.0, 60.0}, 990.0, 1.5, alpha, raw));
  EXPECT_EQ(raw, 0.0);
}

// A host engine object laid out as the engine's: timer pointer at 24, frame-limit flag at 40.
struct FakeEngine {
  uint8_t bytes[64] = {};
  double timer[4] = {5000.0, 1000.0, 60.0, 0.0};
  FakeEngine(uint8_t limit) {
    const double* t = timer;
    memcpy(bytes + 24, &t, 4);
    bytes[40] = limit;
  }
};

uint8_t gFlagSeenByLoop = 0xFF;
void __attribute__((thiscall)) RecordingLoop(void* engine) {
  gFlagSeenByLoop = engine == nullptr ? 0xEE : static_cast<uint8_t*>(engine)[40];
}

uint32_t gTicks = 0;
double gProbeOffset = 0;
extern LogicTimerAccess* gProbeAccess;
void __attribute__((thiscall)) OffsetProbe(void*);
uint32_t FakeGetTicks() { return gTicks; }

struct LoopRun {
  DiagnosticLog log;
  std::vector<std::wstring> lines;
  LogicTimerAccess access;
  LoopRun() {
    log.SetDebugOutputSink([](const wchar_t* line, void* self) {
      static_cast<LoopRun*>(self)->lines.emplace_back(line);
    }, this);
  }
  bool Logged(const wchar_t* text) const {
    for (const std::wstring& line : lines) {
      if (line.find(text) != std::wstring::npos) return true;
    }
    return false;
  }
};

// A millisecond clock running 12345.6789 ms ahead of the wall clock, truncated like SDL's.
uint32_t MillisecondClock() {
  return static_cast<uint32_t>(WallSeconds() * 1000.0 + 12345.6789);
}

// The same clock read by a thread that a busy machine pauses across every other step of the
// count: right after a reading late in an even millisecond.
uint32_t PausedMillisecondClock() {
  const double ms = WallSeconds() * 1000.0 + 12345.6789;
  const auto ticks = static_cast<uint32_t>(ms);
  if (ticks % 2 == 0 && ms - ticks >= 0.5) Sleep(1);
  return ticks;
}

TEST(EngineRun, TickOffsetIsMeasuredAtTheClockEdge) {
  ProcessCounterFrequency() = 0;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  ProcessCounterFrequency() = frequency.QuadPart;
  // A single reading is up to a whole millisecond low (within 0.1 ms one time in ten), and one
  // taken after a pause that the step fell into is low by the pause; a busy machine may pause
  // the measuring thread at any time, so only half of the attempts must be close.
  for (uint32_t (*clock)() : {&MillisecondClock, &PausedMillisecondClock}) {
    SCOPED_TRACE(clock == &MillisecondClock ? "steady" : "paused across every other step");
    int close = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
      FakeEngine engine(0);
      LoopRun run;
      EngineRunSettings settings{true, false, reinterpret_cast<uintptr_t>(clock)};
      gProbeAccess = &run.access;
      RunEngineWithPresentation(engine.bytes, &OffsetProbe, settings, run.access, run.log);
      close += std::fabs(gProbeOffset - 12345.6789) < 0.1;
    }
    EXPECT_GE(close, 10);
  }
}

TEST(EngineRun, RenderUnlockClearsTheFlagForTheLoopAndPutsItBack) {
  ProcessCounterFrequency() = 10000000;
  EngineRunSettings settings{true, true, reinterpret_cast<uintptr_t>(&FakeGetTicks)};
  for (uint8_t limit : {0, 1}) {
    FakeEngine engine(limit);
    LoopRun run;
    ProcessRenderUnlockState().store(kRenderUnlockPending);
    RunEngineWithPresentation(engine.bytes, &RecordingLoop, settings, run.access, run.log);
    EXPECT_EQ(gFlagSeenByLoop, 0);
    EXPECT_EQ(engine.bytes[40], limit);
    EXPECT_EQ(ProcessRenderUnlockState().load(), kRenderUnlockFinished);
    EXPECT_TRUE(run.Logged(L"Render unlock applied at cEngine::Run: mbLimitFPS=false"));
    EXPECT_TRUE(run.Logged(L"HPL logic-timer residual acquired"));
    EXPECT_EQ(run.access.logicTimer, nullptr) << "released when the loop returned";
  }
  // A value that is not a boolean: the byte is not touched and the unlock is refused.
  FakeEngine engine(2);
  LoopRun run;
  RunEngineWithPresentation(engine.bytes, &RecordingLoop, settings, run.access, run.log);
  EXPECT_EQ(gFlagSeenByLoop, 2);
  EXPECT_EQ(engine.bytes[40], 2);
  EXPECT_EQ(ProcessRenderUnlockState().load(), kRenderUnlockRejected);
  EXPECT_TRUE(run.Logged(L"Render unlock rejected: cEngine::mbLimitFPS failed its runtime boolean layout check."));
  EXPECT_EQ(run.access.logicTimer, nullptr) << "the timer is not kept past the loop";
}

LogicTimerAccess* gProbeAccess = nullptr;
void __attribute__((thiscall)) OffsetProbe(void*) { gProbeOffset = gProbeAccess->tickOffsetMs; }
bool gProbeQueried = false;
double gProbeAlpha = -1;

EngineRunSettings gProbeSettings;

// Inside the loop the residual is answered from the live timer: half-way through the step.
void __attribute__((thiscall)) ProbingLoop(void*) {
  double raw = 0;
  const double nowMs = 5000.0 - 1000.0 / 60.0 * 0.5;
  gProbeQueried = QueryLogicTimerResidual(gProbeSettings, *gProbeAccess,
                                          (nowMs - gProbeAccess->tickOffsetMs) / 1000.0, 0.0,
                                          gProbeAlpha, raw);
}

TEST(EngineRun, TimerIsAcquiredOnlyWhileTheLoopRuns) {
  ProcessCounterFrequency() = 10000000;
  EngineRunSettings settings{true, false, reinterpret_cast<uintptr_t>(&FakeGetTicks)};
  FakeEngine engine(1);
  LoopRun run;
  gProbeAccess = &run.access;
  gProbeSettings = settings;
  gTicks = 0x80000010u;  // beyond 2^31: an unsigned tick count, not a negative one
  ProcessRenderUnlockState().store(kRenderUnlockDisabled);
  RunEngineWithPresentation(engine.bytes, &ProbingLoop, settings, run.access, run.log);
  EXPECT_TRUE(gProbeQueried);
  EXPECT_NEAR(gProbeAlpha, 0.5, 1e-6);
  EXPECT_GT(run.access.tickOffsetMs, 2147483648.0 - WallSeconds() * 1000.0 - 1000.0);
  EXPECT_EQ(engine.bytes[40], 1) << "no unlock requested";
  EXPECT_EQ(ProcessRenderUnlockState().load(), kRenderUnlockDisabled);
  double alpha, raw;
  EXPECT_FALSE(QueryLogicTimerResidual(settings, run.access, 5.0, 0.0, alpha, raw)) << "released";

  // An unreadable timer fails closed; a null engine runs the loop untouched.
  memset(engine.bytes + 24, 0, 4);
  LoopRun broken;
  RunEngineWithPresentation(engine.bytes, &RecordingLoop, settings, broken.access, broken.log);
  EXPECT_TRUE(broken.Logged(L"HPL logic-timer layout validation failed; interpolation will fail closed."));
  LoopRun none;
  EngineRunSettings unlock{false, true, 0};
  RunEngineWithPresentation(nullptr, &RecordingLoop, unlock, none.access, none.log);
  EXPECT_EQ(gFlagSeenByLoop, 0xEE);
  EXPECT_EQ(ProcessRenderUnlockState().load(), kRenderUnlockRejected);
  EXPECT_TRUE(none.Logged(L"cEngine::Run received a null instance; presentation timing is unavailable."));
}

// Without the host's tick clock nothing is captured (the render unlock still applies), and a
// query refuses unless timing is wanted and the tick clock is known, even with a timer captured.
TEST(EngineRun, ResidualFailsClosedWithoutTheTickClock) {
  ProcessCounterFrequency() = 10000000;
  gTicks = 1000;
  const uintptr_t ticks = reinterpret_cast<uintptr_t>(&FakeGetTicks);
  struct Case {
    EngineRunSettings run, query;
    bool answered;
  };
  const Case cases[] = {
      {{true, false, ticks}, {true, false, ticks}, true},
      {{true, false, ticks}, {true, false, 0}, false},
      {{true, false, ticks}, {false, false, ticks}, false},
      {{true, true, 0}, {true, false, ticks}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    FakeEngine engine(1);
    LoopRun run;
    gProbeAccess = &run.access;
    gProbeSettings = c.query;
    gProbeAlpha = -1;
    RunEngineWithPresentation(engine.bytes, &ProbingLoop, c.run, run.access, run.log);
    EXPECT_EQ(gProbeQueried, c.answered);
    EXPECT_NEAR(gProbeAlpha, c.answered ? 0.5 : 0.0, 1e-6);
    EXPECT_EQ(run.Logged(L"HPL logic-timer layout validation failed; interpolation will fail "
                         L"closed."),
              c.run.sdlGetTicks == 0);
    EXPECT_EQ(run.Logged(L"Render unlock applied"), c.run.renderUnlockWanted);
  }
}

struct ReportLines {
  std::mutex mutex;
  size_t reports = 0;
  uint64_t ticksReported = 0;
  static void Capture(const wchar_t* line, void* self) {
    auto* lines = static_cast<ReportLines*>(self);
    std::lock_guard<std::mutex> hold(lines->mutex);
    const std::wstring text(line);
    if (text.find(L"[INFO] Telemetry interval=") == std::wstring::npos) return;
    ++lines->reports;
    lines->ticksReported += wcstoull(text.c_str() + text.find(L" ticks=") + 7, nullptr, 10);
  }
  size_t Count() {
    std::lock_guard<std::mutex> hold(mutex);
    return reports;
  }
} gReportLines;
bool gReportedDuringLoop = false;

// A loop that runs until the reporter has written two lines while it ran (10 s at most): one
// interval after another, not one report and an end.
void __attribute__((thiscall)) LoopUntilReported(void*) {
  ProcessTelemetry().ticks.fetch_add(100);
  const size_t before = gReportLines.Count();
  for (int i = 0; i < 1000 && gReportLines.Count() < before + 2; ++i) Sleep(10);
  gReportedDuringLoop = gReportLines.Count() >= before + 2;
}

// A game that leaves its loop and enters it again: each run of the loop is reported interval by
// interval while it runs and once more when it returns, each run's reporter is stopped and its handle closed, and each
// tick is reported once over both runs.
TEST(EngineRun, EveryRunOfTheLoopIsReported) {
  ProcessLog().SetDebugOutputSink(&ReportLines::Capture, &gReportLines);
  TelemetrySettings& telemetry = ProcessTelemetrySettings();
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  PublishTelemetrySettings(1, stop, false);
  telemetry.reporterThread.store(CreateThread(nullptr, 0, &TelemetryReporterThreadProc, nullptr, 0, nullptr));
  DetourSlot(kDetourEngineRun).trampoline = reinterpret_cast<void*>(&LoopUntilReported);
  ProcessEngineRunSettings() = EngineRunSettings{};
  FakeEngine engine(1);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(testing::Message() << "run " << run);
    const HANDLE reporter = telemetry.reporterThread.load();  // the installer's before the first run
    gReportedDuringLoop = false;
    EngineRunDetour(engine.bytes);
    EXPECT_TRUE(gReportedDuringLoop);
    EXPECT_EQ(telemetry.reporterThread.load(), nullptr) << "stopped when the loop returned";
    DWORD flags = 0;
    if (run == 0) {
      EXPECT_FALSE(GetHandleInformation(reporter, &flags)) << "the reporter's handle is closed";
    }
  }
  EXPECT_EQ(gReportLines.ticksReported, ProcessTelemetry().ticks.load());
  ProcessLog().SetDebugOutputSink(nullptr, nullptr);
  DetourSlot(kDetourEngineRun).trampoline = nullptr;
  telemetry.stoppedAtLoopEnd.store(false);
  PublishTelemetrySettings(5, nullptr, false);
  CloseHandle(stop);
}

}  // namespace
}  // namespace driftglass
