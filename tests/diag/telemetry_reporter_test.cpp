#include "diag/telemetry_reporter.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diag/motion_trace.h"
#include "diag/telemetry_fields.h"
#include "log/diagnostic_log.h"
#include "support/log_lines.h"
#include "support/test_files.h"
#include "timing/frame_cadence.h"
#include "timing/render_unlock_state.h"

namespace driftglass {
namespace {

using test::LogEntriesOfFile;
using test::TempFolder;

constexpr int64_t kFrequency = 10000000;

// Fresh counters, histogram, trace and log for one reporter.
struct ReporterGround {
  ReporterGround() {
    log.SetDebugOutputSink([](const wchar_t*, void*) {}, nullptr);
    EXPECT_TRUE(log.Open(folder.File(L"Driftglass.log").c_str()));
    reporter.Begin(1000, kFrequency);
  }
  std::vector<std::string> Entries() const {
    return LogEntriesOfFile(folder.File(L"Driftglass.log"));
  }

  TempFolder folder;
  DiagnosticLog log;
  TelemetryCounters counters;
  std::unique_ptr<FrameCadenceHistogram> cadence = std::make_unique<FrameCadenceHistogram>();
  std::atomic<uint32_t> renderUnlock{kRenderUnlockDisabled};
  std::unique_ptr<MotionTrace> trace = std::make_unique<MotionTrace>();
  TelemetryReporter reporter{counters, *cadence, renderUnlock, *trace, log};
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(TelemetryReporter, RunningCountersShowIncreasesIntervalCountersRestart) {
  ReporterGround ground;
  TelemetryCounters& counters = ground.counters;
  counters.ticks = 0xFFFFFFF0u;  // about to wrap
  counters.onDraw = 721;
  counters.camera.applied = 10;
  counters.camera.viewFail.hidden = 4;
  counters.hands.staged = 6;
  counters.mouseAudit.presentXY.Add(-5, 9);
  counters.mouseAudit.presentXY.Add(-1, 1);
  counters.clock.lastReset = kDiscontinuityMissingSnapshots;
  ground.renderUnlock = kRenderUnlockActive;
  ground.reporter.Report(1000 + 50010000, false);

  counters.ticks += 0x20;  // wraps to 0x10
  counters.camera.applied += 3;
  ground.reporter.Report(1000 + 50010000 + 10000000, false);

  const std::vector<std::string> entries = ground.Entries();
  ASSERT_EQ(entries.size(), 2u);
  const std::string& first = entries[0];
  EXPECT_EQ(first.rfind("INFO Telemetry interval=5.001s RenderUnlock=active ticks=4294967280 (", 0),
            0u)
      << first;
  for (const char* part : {"OnDraw=721 (144.171 Hz) ", "Camera(captured=0, applied=10, ",
                           "viewFail(noListener=0, hidden=4, ", "Hands(staged=6, ",
                           "presentXY=-6/10, ", "lastReset=missing-snapshots)"}) {
    EXPECT_TRUE(Contains(first, part)) << part;
  }
  const std::string& second = entries[1];
  EXPECT_EQ(second.rfind("INFO Telemetry interval=1.000s RenderUnlock=active ticks=32 (32.000 Hz) "
                         "OnDraw=0 (0.000 Hz) ",
                         0),
            0u)
      << second;
  for (const char* part : {"Camera(captured=0, applied=3, ", "viewFail(noListener=0, hidden=0, ",
                           "Hands(staged=0, ", "presentXY=0/0, ",
                           "lastReset=missing-snapshots)"}) {
    EXPECT_TRUE(Contains(second, part)) << part;
  }
}

// Sets every live counter and sum, and lists the counters that are still set afterwards.
struct LiveCounterWalk {
  bool fill = true;
  std::string group;
  std::vector<std::string> stillSet;

  void Visit(const char* key, std::atomic<uint32_t>& counter) {
    if (fill) {
      counter = 7;
    } else if (counter != 0) {
      stillSet.push_back(group + key);
    }
  }
  void Head(const char* key, std::atomic<uint32_t>& counter) { Visit(key, counter); }
  void Running(const char* key, std::atomic<uint32_t>& counter) { Visit(key, counter); }
  void Interval(const char* key, std::atomic<uint32_t>& counter) { Visit(key, counter); }
  void Joined(std::atomic<uint32_t>& counter) { Visit("/", counter); }
  void Sum(const char* key, AtomicCountPair& pair) {
    if (fill) pair.Add(3, -3);
    else if (pair.x != 0 || pair.y != 0) stillSet.push_back(group + key);
  }
  void State(const char*, const wchar_t* (*)(uint32_t), std::atomic<uint32_t>&) {}
  void Named(const char*, std::atomic<const wchar_t*>&) {}
  void Millionths(const char*, std::atomic<uint32_t>&) {}
  void Latest(const char*, std::atomic<uint32_t>&) {}
  void Group(const char* name) { group = std::string(name) + "."; }
  void EndGroup() { group.clear(); }
  void Nested(const char* name) { group += std::string(name) + "."; }
  void EndNested() { group = group.substr(0, group.find('.') + 1); }
};

// Exactly the running counters survive a report; every other counter and sum restarts.
TEST(TelemetryReporter, OnlyRunningCountersSurviveAReport) {
  ReporterGround ground;
  LiveCounterWalk walk;
  VisitTelemetryHead(walk, ground.counters);
  VisitTelemetryGroups(walk, ground.counters);
  ground.reporter.TakeSnapshot(1.0);
  walk.fill = false;
  VisitTelemetryHead(walk, ground.counters);
  VisitTelemetryGroups(walk, ground.counters);
  const std::vector<std::string> running = {
      "ticks", "OnDraw", "SceneRender", "OnPostRender", "Clock.interp", "Clock.clampOld",
      "Clock.clampNew", "Clock.unavailable", "Clock.resets", "Clock.phaseRebase",
      "Camera.captured", "Camera.applied", "Camera.noScene", "Camera.noView", "Camera.identity",
      "Camera.genReset", "Camera.nonMono", "Camera.sameTick", "Camera.jump", "Camera.clockWait",
      "Camera.pairMiss", "Camera.invalid", "Camera.applyFail", "Camera.restoreFail"};
  EXPECT_EQ(walk.stillSet, running);
}

TEST(TelemetryReporter, ReportsAndEmptiesTheFrameCadence) {
  ReporterGround ground;
  ground.cadence->RecordFrame(5000000, kFrequency);
  ground.cadence->RecordFrame(5000000 + 166670, kFrequency);
  ground.cadence->RecordFrame(5000000 + 166670 + 1200000, kFrequency);  // 120 ms
  ground.cadence->RecordFrame(5000000 + 166670 + 4200000, kFrequency);  // 300 ms
  ground.reporter.Report(50001000, false);
  ground.reporter.Report(100001000, false);

  const std::vector<std::string> entries = ground.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(Contains(entries[0],
                       " FrameCadence(samples=2, meanMs=58.335, p50Ms=16.665, p95Ms=100.005, "
                       "p99Ms=100.005, maxMs=100.005, longGap=1, overflow=1, invalid=0) "))
      << entries[0];
  EXPECT_TRUE(Contains(entries[1],
                       " FrameCadence(samples=0, meanMs=0.000, p50Ms=0.000, p95Ms=0.000, "
                       "p99Ms=0.000, maxMs=0.000, longGap=0, overflow=0, invalid=0) "));
}

TEST(TelemetryReporter, MotionTraceTotalsFollowTheLineOnlyWhenTheTraceIsOn) {
  ReporterGround ground;
  std::wstring error;
  ASSERT_TRUE(ground.trace->Open(ground.folder.File(L"Driftglass.motion.csv").c_str(), kFrequency,
                                 error));
  ground.reporter.Report(2000, false);
  ground.reporter.Report(3000, true);  // nothing queued: the totals line still comes
  MotionTraceRecord record;
  for (int i = 0; i < 3; ++i) ground.trace->Publish(record);
  ground.reporter.Report(4000, true);

  const std::vector<std::string> entries = ground.Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_TRUE(Contains(entries[0], "INFO Telemetry interval="));
  EXPECT_TRUE(Contains(entries[1], "INFO Telemetry interval="));
  EXPECT_EQ(entries[2], "INFO MotionTrace written=0 dropped=0");
  EXPECT_TRUE(Contains(entries[3], "INFO Telemetry interval="));
  EXPECT_EQ(entries[4], "INFO MotionTrace written=3 dropped=0");
}

struct CapturedLines {
  std::mutex mutex;
  std::vector<std::wstring> lines;
  std::vector<DWORD> writers;  // the thread that wrote each line
  size_t Count() {
    std::lock_guard<std::mutex> hold(mutex);
    return lines.size();
  }
  size_t CountContaining(const wchar_t* text) {
    std::lock_guard<std::mutex> hold(mutex);
    size_t count = 0;
    for (const std::wstring& line : lines) count += line.find(text) != std::wstring::npos;
    return count;
  }
  size_t CountBy(DWORD thread) {
    std::lock_guard<std::mutex> hold(mutex);
    size_t count = 0;
    for (DWORD writer : writers) count += writer == thread;
    return count;
  }
};

void CaptureLine(const wchar_t* line, void* context) {
  auto* captured = static_cast<CapturedLines*>(context);
  std::lock_guard<std::mutex> hold(captured->mutex);
  captured->lines.emplace_back(line);
  captured->writers.push_back(GetCurrentThreadId());
}

DWORD Finish(HANDLE thread) {
  EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  DWORD code = 1234;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  return code;
}

// The thread procedure over the process-wide state: reports each interval; the event (the game
// is ending) makes it report the interval that was running and end; a failed wait ends it at once.
TEST(TelemetryReporter, ThreadReportsUntilStoppedAndOnceMoreWhenStopped) {
  CapturedLines captured;
  ProcessLog().SetDebugOutputSink(&CaptureLine, &captured);
  HANDLE stop = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(stop, nullptr);

  PublishTelemetrySettings(1, stop, false);
  HANDLE thread = CreateThread(nullptr, 0, &TelemetryReporterThreadProc, nullptr, 0, nullptr);
  EXPECT_EQ(Finish(thread), 0u);
  EXPECT_EQ(captured.Count(), 1u) << "a signalled event: the last interval, once";
  PublishTelemetrySettings(1, nullptr, false);
  thread = CreateThread(nullptr, 0, &TelemetryReporterThreadProc, nullptr, 0, nullptr);
  EXPECT_EQ(Finish(thread), 0u);
  EXPECT_EQ(captured.Count(), 1u) << "a failed wait ends the thread before any report";

  ResetEvent(stop);
  PublishTelemetrySettings(1, stop, false);
  thread = CreateThread(nullptr, 0, &TelemetryReporterThreadProc, nullptr, 0, nullptr);
  for (int i = 0; i < 1000 && captured.Count() < 2; ++i) Sleep(10);
  SetEvent(stop);
  EXPECT_EQ(Finish(thread), 0u);
  ProcessLog().SetDebugOutputSink(nullptr, nullptr);
  CloseHandle(stop);
  PublishTelemetrySettings(5, nullptr, false);

  ASSERT_GE(captured.lines.size(), 3u);
  const std::wstring& line = captured.lines[1];
  EXPECT_NE(line.find(L"[INFO] Telemetry interval=1."), std::wstring::npos) << line;
  EXPECT_EQ(line.substr(line.size() - 2), L"\r\n");
}

DWORD WINAPI WaitForRelease(LPVOID release) {
  WaitForSingleObject(static_cast<HANDLE>(release), INFINITE);
  return 0;
}

// The engine's loop ended while its reporter was busy: the wait gives up, says so, and closes the
// handle; the next loop's reporter runs alone, since the busy one ends at its next wake instead
// of reporting beside it.
TEST(TelemetryReporter, ABusyReporterIsLetGoAtTheLoopsEndAndEndsOnceTheNextLoopsStarts) {
  CapturedLines captured;
  ProcessLog().SetDebugOutputSink(&CaptureLine, &captured);
  TelemetrySettings& settings = ProcessTelemetrySettings();
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  PublishTelemetrySettings(1, stop, false);

  HANDLE busy = CreateThread(nullptr, 0, &WaitForRelease, release, 0, nullptr);
  HANDLE busyOwn = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), busy, GetCurrentProcess(), &busyOwn, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  settings.reporterThread.store(busy);
  FinishTelemetryReport();
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(busy, &flags)) << "the reporter's handle is closed";
  EXPECT_EQ(captured.CountContaining(L"[WARN] Telemetry reporter did not end within 2 s"), 1u);
  SetEvent(release);
  Finish(busyOwn);

  // A reporter that never saw the loop's end, and the next loop's.
  settings.stoppedAtLoopEnd.store(false);
  ResetEvent(stop);
  DWORD earlierId = 0;
  HANDLE earlier = CreateThread(nullptr, 0, &TelemetryReporterThreadProc, nullptr, 0, &earlierId);
  for (int i = 0; i < 1000 && captured.CountBy(earlierId) == 0; ++i) Sleep(10);
  settings.stoppedAtLoopEnd.store(true);
  ResumeTelemetryReport();
  const HANDLE next = settings.reporterThread.load();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(captured.CountContaining(L"[INFO] Telemetry reporter started again"), 1u);
  EXPECT_EQ(Finish(earlier), 0u) << "the earlier reporter ended by itself";
  const DWORD nextId = GetThreadId(next);
  for (int i = 0; i < 1000 && captured.CountBy(nextId) == 0; ++i) Sleep(10);
  EXPECT_GE(captured.CountBy(nextId), 1u) << "the next loop is reported";
  ResumeTelemetryReport();
  EXPECT_EQ(settings.reporterThread.load(), next) << "one reporter per loop";
  FinishTelemetryReport();
  EXPECT_EQ(settings.reporterThread.load(), nullptr);

  ProcessLog().SetDebugOutputSink(nullptr, nullptr);
  settings.stoppedAtLoopEnd.store(false);
  PublishTelemetrySettings(5, nullptr, false);
  CloseHandle(stop);
  CloseHandle(release);
}

}  // namespace
}  // namespace driftglass
