#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "diag/telemetry_counters.h"
#include "diag/telemetry_line.h"

namespace driftglass {

class DiagnosticLog;
class FrameCadenceHistogram;
class MotionTrace;
struct MotionTraceTotals;

// What the installer publishes before it starts the reporter thread.
struct TelemetrySettings {
  std::atomic<uint32_t> reportIntervalSeconds{5};
  std::atomic<HANDLE> stopEvent{nullptr};
  std::atomic<bool> motionTraceOn{false};
  std::atomic<HANDLE> reporterThread{nullptr};
  // Set when the end of the engine's loop stopped the reporter; the next loop starts another.
  std::atomic<bool> stoppedAtLoopEnd{false};
  // A reporter ends once a later one has been started: one that outlived its run's end never
  // reports beside its successor.
  std::atomic<uint32_t> generation{0};
};

TelemetrySettings& ProcessTelemetrySettings();
void PublishTelemetrySettings(uint32_t intervalSeconds, HANDLE stopEvent, bool motionTraceOn);

// Turns the counters into one INFO line per report and, with the motion trace on, writes the
// queued trace rows. Only the reporter thread uses it; the hooks only ever count.
class TelemetryReporter {
 public:
  TelemetryReporter(TelemetryCounters& counters, FrameCadenceHistogram& cadence,
                    const std::atomic<uint32_t>& renderUnlockState, MotionTrace& motionTrace,
                    DiagnosticLog& log);

  // The first report's interval starts at this performance-counter reading.
  void Begin(int64_t counter, int64_t frequency);

  // Ends the interval at counter: writes the telemetry line, then with the trace on flushes it
  // and writes its totals.
  void Report(int64_t counter, bool motionTraceOn);

  // Takes every value the line shows; running counters become their increase since the
  // previous take, interval counters and sums restart from 0.
  TelemetrySnapshot TakeSnapshot(double elapsedSeconds);

  // "MotionTrace written=N dropped=M": what a flush of the trace wrote and dropped.
  void WriteTraceTotals(const MotionTraceTotals& totals);

 private:
  void WriteInfo(const char* text, uint32_t length);

  TelemetryCounters& counters_;
  FrameCadenceHistogram& cadence_;
  const std::atomic<uint32_t>& renderUnlockState_;
  MotionTrace& motionTrace_;
  DiagnosticLog& log_;
  TelemetryValues previousLoads_;
  int64_t lastReportCounter_ = 0;
  int64_t frequency_ = 0;
};

// From the settings thread while the game runs: opens the motion trace anew (a new file, as at
// start-up) and has the reports write it; closes it with every queued row written, once the
// frames have stopped publishing. Both wait for a report being written.
bool StartMotionTraceNow(const wchar_t* path, int64_t frequency, std::wstring& errorText);
void StopMotionTraceNow();

// The reporter thread over the process-wide counters, settings and log; started without a
// parameter, it reports every interval (read again at every wake, at least four times a second,
// so the INI can change it) until the stop event is signalled, then reports the interval that
// was running and ends (a failed wait ends it at once).
DWORD WINAPI TelemetryReporterThreadProc(LPVOID);

// On the main thread when the engine's loop has returned: signals the reporter and waits, at most
// about 2 s, for its last telemetry line and trace rows, so nothing drawn is lost when the game
// quits; a reporter still busy then is logged and left to end by itself. The thread's handle is
// closed either way. Nothing when no reporter runs.
void FinishTelemetryReport();

// On the main thread when the engine's loop is entered: after a loop whose end stopped the
// reporter, starts a new one, so a second loop reports (and writes its trace) as the first did.
void ResumeTelemetryReport();

}  // namespace driftglass
