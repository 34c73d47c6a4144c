#include "bootstrap/settings_watcher.h"

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

bool AnyDrawnCorrection(const FeatureFlags& f) {
  return f.cameraInterpolation || f.handsRootInterpolation || f.worldRootInterpolation || f.handsPoseInterpolation ||
         f.worldPoseInterpolation || f.particleInterpolation || f.imageTrailTiming || f.mouseOverlay;
}

bool ReporterRuns(const PluginConfig& c) { return c.telemetryEnabled || c.motionTrace; }

}  // namespace

SettingKeys LiveSettingKeys(const PluginConfig& started) {
  const FeatureFlags& f = started.features;
  SettingKeys keys = SettingBit(kSettingCompareKey) | SettingBit(kSettingTargetFps) |
                     SettingBit(kSettingPhaseDelayPercent);
  if (f.renderUnlock) keys |= SettingBit(kSettingPresentationLimiter);
  if (ReporterRuns(started)) keys |= SettingBit(kSettingMotionTrace) | SettingBit(kSettingReportInterval);
  const struct {
    bool installed;
    uint32_t key;
  } features[] = {
      {f.cameraInterpolation, kSettingCameraInterpolation},
      {f.handsRootInterpolation, kSettingHandsRootInterpolation},
      {f.worldRootInterpolation, kSettingWorldRootInterpolation},
      {f.handsPoseInterpolation, kSettingHandsPoseInterpolation},
      {f.worldPoseInterpolation, kSettingWorldPoseInterpolation},
      // A ragdoll's pose is drawn by the enemy poses' detours.
      {f.worldPoseInterpolation, kSettingRagdollPoseInterpolation},
      {f.particleInterpolation, kSettingParticleInterpolation},
      {f.imageTrailTiming, kSettingImageTrailTiming},
      {f.mouseOverlay, kSettingMouseOverlay},
  };
  for (const auto& feature : features) {
    if (feature.installed) keys |= SettingBit(feature.key);
  }
  return keys;
}

LiveSettings LiveSettingsOf(const PluginConfig& file, const PluginConfig& started) {
  const FeatureFlags& f = file.features;
  LiveSettings s;
  // The limiter paces only frames this start's render unlock set free.
  s.limiter = f.presentationLimiter && started.features.renderUnlock;
  s.targetFps = file.targetFps;
  s.phaseDelayPercent = file.phaseDelayPercent;
  s.compareKey = AnyDrawnCorrection(started.features) ? file.compareKey : 0;
  s.motionTrace = ReporterRuns(started) && file.motionTrace;
  s.drawn.camera = f.cameraInterpolation;
  s.drawn.handsRoot = f.handsRootInterpolation;
  s.drawn.handsPose = f.handsPoseInterpolation;
  s.drawn.worldRoot = f.worldRootInterpolation;
  s.drawn.worldPose = f.worldPoseInterpolation;
  s.drawn.ragdollPose = f.ragdollPoseInterpolation;
  s.drawn.particles = f.particleInterpolation;
  s.drawn.imageTrail = f.imageTrailTiming;
  s.drawn.lookPreview = f.mouseOverlay;
  return s;
}

SettingsWatcher::SettingsWatcher(const std::wstring& path, const PluginConfig& started, DiagnosticLog& log,
                                 SettingsSink& sink)
    : watch_(path), started_(started), file_(started), live_(LiveSettingKeys(started)), log_(log), sink_(sink) {
  watch_.Settle();
}

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
  const SettingKeys changed = ChangedSettings(file_, file);
  if (changed == 0) return;
  const SettingKeys live = changed & live_;
  const SettingKeys restart = changed & ~live_;
  LiveSettings next = LiveSettingsOf(file, started_);
  if ((live & SettingBit(kSettingMotionTrace)) != 0) {
    if (file.motionTrace && closeTrace_) {
      // Back on before the frames stopped: the trace is still open and goes on in its file.
      closeTrace_ = false;
    } else if (file.motionTrace) {
      std::wstring errorText;
      if (!sink_.StartTrace(errorText)) {
        Write(log_, kLogWarn, errorText + L"; the motion trace stays off.");
        next.motionTrace = false;
      }
    } else {
      closeTrace_ = true;  // after the main thread has stopped publishing
    }
  }
  if ((live & SettingBit(kSettingReportInterval)) != 0) sink_.SetReportInterval(file.reportIntervalSeconds);
  if (live != 0) {
    sink_.Post(next);
    Write(log_, kLogInfo, L"Settings changed: " + DescribeSettings(live, file_, file) + L".");
  }
  if (restart != 0) {
    const bool one = (restart & (restart - 1)) == 0;
    Write(log_, kLogWarn,
          L"Settings changed: " + DescribeSettings(restart, file_, file) +
              (one ? L" takes effect at the next start." : L"; each takes effect at the next start."));
  }
  file_ = file;
}

void SettingsWatcher::Refuse(const std::wstring& reason) {
  const std::wstring text = reason + L"; the running settings stay.";
  if (text == lastRefusal_) return;
  lastRefusal_ = text;
  Write(log_, kLogWarn, text);
}

namespace {

// The process's sink: the main thread's mailbox, the reporter's trace and interval.
class ProcessSettingsSink final : public SettingsSink {
 public:
  explicit ProcessSettingsSink(std::wstring tracePath) : tracePath_(std::move(tracePath)) {}
  void Post(const LiveSettings& settings) override { ProcessLiveSettingsMailbox().Post(settings); }
  bool AllApplied() override {
    const LiveSettingsMailbox& mailbox = ProcessLiveSettingsMailbox();
    return mailbox.applied() == mailbox.posted();
  }
  bool StartTrace(std::wstring& errorText) override {
    return StartMotionTraceNow(tracePath_.c_str(), ProcessCounterFrequency(), errorText);
  }
  void StopTrace() override { StopMotionTraceNow(); }
  void SetReportInterval(uint32_t seconds) override { ProcessTelemetrySettings().reportIntervalSeconds.store(seconds); }

 private:
  std::wstring tracePath_;
};

struct WatcherThread {
  WatcherThread(const std::wstring& iniPath, const std::wstring& tracePath, const PluginConfig& started,
                DiagnosticLog& log)
      : sink(tracePath), watcher(iniPath, started, log, sink) {}
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
  auto* watcher = new WatcherThread(iniPath, tracePath, started, log);
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
