#include "bootstrap/settings_watcher.h"

#include "bootstrap/file_locations.h"
#include "diag/telemetry_reporter.h"
#include "install/hook_installer.h"
#include "log/diagnostic_log.h"
#include "timing/wall_clock.h"

namespace driftglass {
namespace {

constexpr DWORD kLookIntervalMs = 500;

void Write(DiagnosticLog& log, uint32_t level, const std::wstring& text) {
  log.WriteLine(level, text.c_str(), static_cast<uint32_t>(text.size()));
}

// The line's end for one key, or for several.
std::wstring Ending(SettingKeys keys, const wchar_t* one, const wchar_t* several) {
  return (keys & (keys - 1)) == 0 ? one : several;
}

}  // namespace

SettingsWatcher::SettingsWatcher(const std::wstring& path, const PluginConfig& started, LiveHooks installed,
                                 DiagnosticLog& log, SettingsSink& sink)
    : watch_(path),
      started_(started),
      running_(started),
      file_(started),
      installed_(installed),
      live_(LiveSettingKeys(installed)),
      log_(log),
      sink_(sink) {}

void SettingsWatcher::Look() {
  if (closeTrace_ && sink_.AllApplied()) {
    sink_.StopTrace();
    closeTrace_ = false;
  }
  const SettingsLookResult look = watch_.Look();
  switch (look.outcome) {
    case SettingsLook::kRead: Apply(look.config); break;
    case SettingsLook::kRejected:
    case SettingsLook::kMissing: Refuse(look.errorText); break;
    default: break;
  }
}

void SettingsWatcher::Apply(const PluginConfig& file) {
  lastRefusal_.clear();
  // A live key is compared with what the game runs with (a trace that could not be opened runs
  // off, so the next save that asks for it tries again); one that needs a restart with the file.
  SettingKeys live = ChangedSettings(running_, file) & live_;
  const SettingKeys restart = ChangedSettings(file_, file) & ~live_;
  PluginConfig next = WithSettings(running_, live, file);
  constexpr SettingKeys kTrace = SettingBit(kSettingMotionTrace);
  if ((live & kTrace) != 0) {
    if (file.motionTrace && closeTrace_) {
      // Back on before the frames stopped: the trace is still open and goes on in its file.
      closeTrace_ = false;
    } else if (file.motionTrace) {
      std::wstring path;
      std::wstring errorText;
      if (sink_.StartTrace(path, errorText)) {
        Write(log_, kLogInfo, L"Motion trace: recording to " + path + L".");
      } else {
        Write(log_, kLogWarn, errorText + L"; the motion trace stays off.");
        next.motionTrace = false;
        live &= ~kTrace;
      }
    } else {
      closeTrace_ = true;  // after the main thread has stopped publishing
    }
  }
  if ((live & SettingBit(kSettingReportInterval)) != 0) sink_.SetReportInterval(next.reportIntervalSeconds);
  if (live != 0) {
    sink_.Post(LiveSettingsOf(next, installed_));
    Write(log_, kLogInfo, L"Settings changed: " + DescribeSettings(live, running_, next) + L".");
  }
  // A key set back to the value the game started with no longer waits for anything.
  const SettingKeys pending = restart & ChangedSettings(started_, file);
  const SettingKeys back = restart & ~pending;
  if (pending != 0) {
    Write(log_, kLogWarn,
          L"Settings changed: " + DescribeSettings(pending, file_, file) +
              Ending(pending, L" takes effect at the next start.", L"; each takes effect at the next start."));
  }
  if (back != 0) {
    Write(log_, kLogInfo,
          L"Settings changed: " + DescribeSettings(back, file_, file) +
              Ending(back, L" is back to the value in force.", L"; each is back to the value in force."));
  }
  running_ = next;
  file_ = file;
}

void SettingsWatcher::Refuse(const std::wstring& reason) {
  const std::wstring text = reason + L"; the running settings stay.";
  if (text == lastRefusal_) return;
  lastRefusal_ = text;
  Write(log_, kLogWarn, text);
}

namespace {

// The process's sink: the main thread's mailbox, the reporter's trace and interval. A recording
// started while the game runs gets a file of its own, so none made earlier is overwritten.
class ProcessSettingsSink final : public SettingsSink {
 public:
  ProcessSettingsSink(std::wstring tracePath, bool traceAtStart)
      : tracePath_(std::move(tracePath)), recordings_(traceAtStart ? 1 : 0) {}
  void Post(const LiveSettings& settings) override { ProcessLiveSettingsMailbox().Post(settings); }
  bool AllApplied() override {
    const LiveSettingsMailbox& mailbox = ProcessLiveSettingsMailbox();
    return mailbox.applied() == mailbox.posted();
  }
  bool StartTrace(std::wstring& path, std::wstring& errorText) override {
    path = NumberedTracePath(tracePath_, recordings_ + 1);
    if (!StartMotionTraceNow(path.c_str(), ProcessCounterFrequency(), errorText)) return false;
    ++recordings_;
    return true;
  }
  void StopTrace() override { StopMotionTraceNow(); }
  void SetReportInterval(uint32_t seconds) override { ProcessTelemetrySettings().reportIntervalSeconds.store(seconds); }

 private:
  std::wstring tracePath_;
  uint32_t recordings_;
};

struct WatcherThread {
  WatcherThread(const std::wstring& iniPath, const std::wstring& tracePath, const PluginConfig& started,
                LiveHooks installed, DiagnosticLog& log)
      : sink(tracePath, started.motionTrace), watcher(iniPath, started, installed, log, sink) {}
  ProcessSettingsSink sink;
  SettingsWatcher watcher;
};

DWORD WINAPI WatcherThreadProc(LPVOID parameter) {
  WatcherThread& thread = *static_cast<WatcherThread*>(parameter);
  for (;;) {
    Sleep(kLookIntervalMs);
    thread.watcher.Look();
  }
}

}  // namespace

bool StartSettingsWatcher(const std::wstring& iniPath, const std::wstring& tracePath, const PluginConfig& started,
                          DiagnosticLog& log, HookInstallation& installation) {
  // One watcher for the process's life, as the detours live: its file is the one this start read.
  static WatcherThread* running = nullptr;
  if (running != nullptr) return true;
  auto* watcher = new WatcherThread(iniPath, tracePath, started, installation.liveHooks, log);
  const HANDLE thread = installation.createThread(nullptr, 0, &WatcherThreadProc, watcher, 0, nullptr);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    delete watcher;
    Write(log, kLogWarn,
          L"CreateThread for the settings watcher failed with Win32 error " + std::to_wstring(error) +
              L"; changes to the INI take effect at the next start.");
    return false;
  }
  CloseHandle(thread);
  running = watcher;
  return true;
}

}  // namespace driftglass
