#pragma once
// The INI while the game runs. It is looked at twice a second on a thread of its own, never on
// the game's paths; a change is taken only once it has settled (see settings_file_watch.h). What
// can change while playing is posted to the main thread, which applies it all at once at the next
// tick boundary, and is named in one INFO line; a change that needs a restart (the render unlock,
// [General] Enabled and Diagnostics, [Telemetry] Enabled, a feature whose detours this start did
// not install) is named in one WARN line. A file the start-up would refuse, or one that is gone or
// cannot be read, changes nothing and says so once.

#include <string>

#include "config/plugin_config.h"
#include "config/settings_change.h"
#include "config/settings_file_watch.h"
#include "shared/live_settings.h"

namespace driftglass {

class DiagnosticLog;
struct HookInstallation;

// Where the watcher's decisions go: the main thread's mailbox, the motion trace and the reporter.
class SettingsSink {
 public:
  virtual void Post(const LiveSettings& settings) = 0;
  // Every set posted so far has been applied by the main thread.
  virtual bool AllApplied() = 0;
  virtual bool StartTrace(std::wstring& errorText) = 0;
  virtual void StopTrace() = 0;
  virtual void SetReportInterval(uint32_t seconds) = 0;

 protected:
  ~SettingsSink() = default;
};

// The keys a running plug-in can change, given what its start installed.
SettingKeys LiveSettingKeys(const PluginConfig& started);
// What the main thread runs with for an INI read while the game runs.
LiveSettings LiveSettingsOf(const PluginConfig& file, const PluginConfig& started);

class SettingsWatcher {
 public:
  SettingsWatcher(const std::wstring& path, const PluginConfig& started, DiagnosticLog& log, SettingsSink& sink);
  // One look at the file, and whatever it calls for.
  void Look();

 private:
  void Apply(const PluginConfig& file);
  void Refuse(const std::wstring& reason);

  SettingsFileWatch watch_;
  PluginConfig started_;
  PluginConfig file_;  // the last valid content taken
  SettingKeys live_;
  DiagnosticLog& log_;
  SettingsSink& sink_;
  std::wstring lastRefusal_;
  bool closeTrace_ = false;  // once the frames have stopped publishing
};

// After a successful start: the watcher's thread over the process's mailbox, trace and reporter.
// False, with a WARN line, when the thread cannot be started; the game then plays with the
// start-up's settings.
bool StartSettingsWatcher(const std::wstring& iniPath, const std::wstring& tracePath, const PluginConfig& started,
                          DiagnosticLog& log, HookInstallation& installation);

}  // namespace driftglass
