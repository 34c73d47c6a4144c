#include "diag/telemetry_reporter.h"

#include <cwchar>

#include "diag/ascii_text.h"
#include "diag/motion_trace.h"
#include "diag/telemetry_fields.h"
#include "log/diagnostic_log.h"
#include "timing/frame_cadence.h"
#include "timing/render_unlock_state.h"

namespace driftglass {
namespace {

constexpr uint32_t kMinIntervalSeconds = 1;
constexpr uint32_t kMaxIntervalSeconds = 60;

using Count = std::atomic<uint32_t>;

// Visits live counters, previous running loads and the snapshot together.
struct TakeVisitor {
  void Head(const char*, Count& live, uint32_t& previous, uint32_t& out) {
    TakeRunning(live, previous, out);
  }
  void Running(const char*, Count& live, uint32_t& previous, uint32_t& out) {
    TakeRunning(live, previous, out);
  }
  void Interval(const char*, Count& live, uint32_t&, uint32_t& out) { out = live.exchange(0); }
  void Joined(Count& live, uint32_t&, uint32_t& out) { out = live.exchange(0); }
  void Sum(const char*, AtomicCountPair& live, CountPair&, CountPair& out) {
    out.x = live.x.exchange(0);
    out.y = live.y.exchange(0);
  }
  void State(const char*, const wchar_t* (*)(uint32_t), Count& live, uint32_t&, uint32_t& out) {
    out = live.load();
  }
  void Named(const char*, std::atomic<const wchar_t*>& live, const wchar_t*&, const wchar_t*& out) {
    out = live.load();
  }
  void Millionths(const char*, Count& live, uint32_t&, uint32_t& out) { out = live.load(); }
  void Latest(const char*, Count& live, uint32_t&, uint32_t& out) { out = live.load(); }
  void Group(const char*) {}
  void EndGroup() {}
  void Nested(const char*) {}
  void EndNested() {}

  // Unsigned subtraction gives the right increase even after the counter wrapped.
  static void TakeRunning(Count& live, uint32_t& previous, uint32_t& out) {
    const uint32_t now = live.load();
    out = now - previous;
    previous = now;
  }
};

}  // namespace

TelemetrySettings& ProcessTelemetrySettings() {
  static TelemetrySettings settings;
  return settings;
}

void PublishTelemetrySettings(uint32_t intervalSeconds, HANDLE stopEvent, bool motionTraceOn) {
  TelemetrySettings& settings = ProcessTelemetrySettings();
  settings.reportIntervalSeconds.store(intervalSeconds);
  settings.stopEvent.store(stopEvent);
  settings.motionTraceOn.store(motionTraceOn);
}

TelemetryReporter::TelemetryReporter(TelemetryCounters& counters, FrameCadenceHistogram& cadence,
                                     const std::atomic<uint32_t>& renderUnlockState,
                                     MotionTrace& motionTrace, DiagnosticLog& log)
    : counters_(counters),
      cadence_(cadence),
      renderUnlockState_(renderUnlockState),
      motionTrace_(motionTrace),
      log_(log) {}

void TelemetryReporter::Begin(int64_t counter, int64_t frequency) {
  lastReportCounter_ = counter;
  frequency_ = frequency;
}

TelemetrySnapshot TelemetryReporter::TakeSnapshot(double elapsedSeconds) {
  TelemetrySnapshot snapshot;
  snapshot.elapsedSeconds = elapsedSeconds;
  TakeVisitor take;
  VisitTelemetryHead(take, counters_, previousLoads_, snapshot.values);
  snapshot.cadence = cadence_.TakeCadenceSnapshot();
  VisitTelemetryGroups(take, counters_, previousLoads_, snapshot.values);
  snapshot.renderUnlockState = renderUnlockState_.load();
  return snapshot;
}

void TelemetryReporter::Report(int64_t counter, bool motionTraceOn) {
  const double elapsed =
      static_cast<double>(counter - lastReportCounter_) / static_cast<double>(frequency_);
  const TelemetrySnapshot snapshot = TakeSnapshot(elapsed);
  char line[kTelemetryLineCapacity];
  WriteInfo(line, FormatTelemetryLine(snapshot, line, sizeof(line)));

  if (motionTraceOn) WriteTraceTotals(motionTrace_.Flush());
  lastReportCounter_ = counter;
}

void TelemetryReporter::WriteTraceTotals(const MotionTraceTotals& totals) {
  char text[96];
  AsciiText totalsLine(text, sizeof(text));
  totalsLine.Append("MotionTrace written=");
  totalsLine.Unsigned(totals.written);
  totalsLine.Append(" dropped=");
  totalsLine.Unsigned(totals.dropped);
  WriteInfo(totalsLine.data(), totalsLine.length());
}

void TelemetryReporter::WriteInfo(const char* text, uint32_t length) {
  wchar_t wide[kTelemetryLineCapacity];
  if (length > kTelemetryLineCapacity) length = kTelemetryLineCapacity;
  for (uint32_t i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  log_.WriteLine(kLogInfo, wide, length);
}

namespace {

// One reporter for the process: a reporter started for a later run of the engine's loop goes on
// from the running counters' previous loads, and the lock keeps one that outlived its run from
// reporting at the same moment as its successor.
struct SharedReporter {
  SRWLOCK lock = SRWLOCK_INIT;
  TelemetryReporter reporter{ProcessTelemetry(), ProcessFrameCadence(), ProcessRenderUnlockState(),
                             ProcessMotionTrace(), ProcessLog()};
};

SharedReporter& ProcessReporter() {
  static SharedReporter shared;
  return shared;
}

uint32_t ClampedInterval(uint32_t seconds) {
  // The configuration allows 1 to 60 s; anything else must neither spin nor sleep for days.
  return seconds < kMinIntervalSeconds ? kMinIntervalSeconds
                                       : (seconds > kMaxIntervalSeconds ? kMaxIntervalSeconds : seconds);
}

// The longest the reporter sleeps at once, so a new interval from the INI is followed at once.
constexpr DWORD kReporterWakeMs = 250;

}  // namespace

DWORD WINAPI TelemetryReporterThreadProc(LPVOID) {
  TelemetrySettings& settings = ProcessTelemetrySettings();
  const uint32_t generation = settings.generation.load();
  const HANDLE stopEvent = settings.stopEvent.load();

  SharedReporter& shared = ProcessReporter();
  LARGE_INTEGER frequency{};
  LARGE_INTEGER counter{};
  QueryPerformanceFrequency(&frequency);
  AcquireSRWLockExclusive(&shared.lock);
  QueryPerformanceCounter(&counter);
  shared.reporter.Begin(counter.QuadPart, frequency.QuadPart);
  ReleaseSRWLockExclusive(&shared.lock);
  int64_t lastReport = counter.QuadPart;
  for (;;) {
    // The interval is read again at every wake: a change applies to the report being waited for.
    const int64_t due = lastReport + ClampedInterval(settings.reportIntervalSeconds.load()) * frequency.QuadPart;
    QueryPerformanceCounter(&counter);
    const int64_t leftMs = counter.QuadPart >= due ? 0 : (due - counter.QuadPart) * 1000 / frequency.QuadPart + 1;
    const DWORD waited = WaitForSingleObject(stopEvent, leftMs < kReporterWakeMs ? static_cast<DWORD>(leftMs)
                                                                                  : kReporterWakeMs);
    if (waited != WAIT_TIMEOUT && waited != WAIT_OBJECT_0) break;
    if (settings.generation.load() != generation) break;  // a later loop's reporter took over
    QueryPerformanceCounter(&counter);
    if (waited == WAIT_TIMEOUT && counter.QuadPart < due) continue;
    AcquireSRWLockExclusive(&shared.lock);
    QueryPerformanceCounter(&counter);
    shared.reporter.Report(counter.QuadPart, settings.motionTraceOn.load());
    ReleaseSRWLockExclusive(&shared.lock);
    lastReport = counter.QuadPart;
    if (waited == WAIT_OBJECT_0) break;  // the game is ending: that was the last interval
  }
  return 0;
}

bool StartMotionTraceNow(const wchar_t* path, int64_t frequency, std::wstring& errorText) {
  SharedReporter& shared = ProcessReporter();
  AcquireSRWLockExclusive(&shared.lock);
  const bool opened = ProcessMotionTrace().Open(path, frequency, errorText);
  if (opened) ProcessTelemetrySettings().motionTraceOn.store(true);
  ReleaseSRWLockExclusive(&shared.lock);
  return opened;
}

void StopMotionTraceNow() {
  SharedReporter& shared = ProcessReporter();
  AcquireSRWLockExclusive(&shared.lock);
  if (ProcessMotionTrace().IsOpen()) {
    ProcessTelemetrySettings().motionTraceOn.store(false);
    // The rows written by this last flush, in the reports' own words, so the totals still add up.
    shared.reporter.WriteTraceTotals(ProcessMotionTrace().Close());
  }
  ReleaseSRWLockExclusive(&shared.lock);
}

void FinishTelemetryReport() {
  constexpr DWORD kLastReportWaitMs = 2000;
  TelemetrySettings& settings = ProcessTelemetrySettings();
  const HANDLE thread = settings.reporterThread.exchange(nullptr);
  const HANDLE stop = settings.stopEvent.load();
  if (thread == nullptr) return;
  if (stop != nullptr) SetEvent(stop);
  if (WaitForSingleObject(thread, kLastReportWaitMs) != WAIT_OBJECT_0) {
    ProcessLog().WriteLine(kLogWarn,
                           L"Telemetry reporter did not end within 2 s of the game loop's end; its "
                           L"last report may be missing from the log and the motion trace.");
  }
  CloseHandle(thread);
  settings.stoppedAtLoopEnd.store(true);
}

void ResumeTelemetryReport() {
  TelemetrySettings& settings = ProcessTelemetrySettings();
  if (!settings.stoppedAtLoopEnd.exchange(false)) return;
  // A reporter still busy with the previous loop's last report must not wait on the event again.
  settings.generation.fetch_add(1);
  ResetEvent(settings.stopEvent.load());
  const HANDLE thread = CreateThread(nullptr, 0, &TelemetryReporterThreadProc, nullptr, 0, nullptr);
  if (thread == nullptr) {
    wchar_t text[160];
    swprintf(text, sizeof(text) / sizeof(text[0]),
             L"CreateThread for telemetry reporter failed with Win32 error %lu; the game loop entered "
             L"again is not reported.",
             GetLastError());
    ProcessLog().WriteLine(kLogError, text);
    return;
  }
  settings.reporterThread.store(thread);
  ProcessLog().WriteLine(kLogInfo, L"Telemetry reporter started again: cEngine::Run was entered again.");
}

}  // namespace driftglass
