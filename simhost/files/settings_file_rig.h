#pragma once
// A player editing the plug-in's INI while the game runs. At the n-th ini_rewrite event's tick
// (counting from 1 in tick order) the game writes the content of "<ini>.<n>", a file the test put
// beside the INI, over the INI in place: the file is emptied, then written in two halves, as an
// editor saves. An event with a duration holds the first half for that many ticks before the
// rest, so a half-written file stands for a while. Each rewrite ends in a fact line with its
// tick and the wall time of its last write.

#include <cstdint>
#include <string>
#include <vector>

#include "scenarios/scenario.h"

class HostRecord;

class SettingsFileRig {
 public:
  void Init(const Scenario& scenario, HostRecord* record);
  // The plug-in's path as the game will load it (before Init); its INI ends in ".ini".
  void SetPluginPath(const std::wstring& plugin);
  void AfterFrame(uint32_t completedTicks, double wallSeconds);

 private:
  struct Rewrite {
    uint32_t tick;
    uint32_t holdTicks;
    int stage;  // 0 waiting, 1 first half written, 2 done
    std::string content;
  };
  bool Write(const std::string& bytes, bool truncate);

  std::vector<Rewrite> rewrites_;
  std::wstring iniPath_;
  HostRecord* record_ = nullptr;
};

SettingsFileRig& SettingsFile();
