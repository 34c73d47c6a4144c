#pragma once
// The INI while the game runs. It is looked at twice a second on a thread of its own, never on
// the game's paths; a change is taken only once it has settled (see settings_file_watch.h), and
// the first look compares the file with the settings the start-up read, so an edit saved while the
// plug-in started is not lost. What can change while playing, given what the start installed, is
// posted to the main thread, which applies it all at once at the next tick boundary, and is named
// in one INFO line; a change that needs a restart is named in one WARN line, and no longer named
// once it is set back. A file the start-up would refuse, or one that is gone or cannot be read,
// changes nothing and says so once.

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
  // A new recording: its file's path, or why it could not be opened.
  virtual bool StartTrace(std::wstring& path, std::wstring& errorText) = 0;
  virtual void StopTrace() = 0;
  virtual void SetReportInterval(uint32_t seconds) = 0;

 protected:
  ~SettingsSink() = default;
};

class SettingsWatcher {
 public:
  SettingsWatcher(const std::wstring& path, const PluginConfig& started, LiveHooks installed, DiagnosticLog& log,
                  SettingsSink& sink);
  // One look at the file, and whatever it calls for.
  void Look();

 private:
  void Apply(const PluginConfig& file);
  void Refuse(const std::wstring& reason);

  SettingsFileWatch watch_;
  PluginConfig started_;  // what a key that needs a restart is in force with
  PluginConfig running_;  // what the game runs with: the live keys as last applied
  PluginConfig file_;     // the last valid content taken
  LiveHooks installed_;
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
