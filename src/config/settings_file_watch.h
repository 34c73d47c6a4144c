#pragma once
// Looks at the INI now and then, off the game's paths, and says when its content has changed and
// settled. A content is taken only when two looks in a row found the same bytes and the bytes did
// not change while the keys were read from it: an editor that empties the file and then writes
// it, or writes it in pieces, is never read in between.

#include <cstdint>
#include <string>

#include "config/plugin_config.h"

namespace driftglass {

enum class SettingsLook {
  kUnchanged,  // the content last taken (or found missing or refused)
  kSettling,   // new content, not yet seen twice
  kRead,       // settled and valid: config holds it
  kRejected,   // settled and refused: errorText is the start-up's own text
  kMissing,    // settled as gone or unreadable: errorText says which
};

struct SettingsLookResult {
  SettingsLook outcome = SettingsLook::kUnchanged;
  PluginConfig config;
  std::wstring errorText;
};

class SettingsFileWatch {
 public:
  explicit SettingsFileWatch(std::wstring path) : path_(std::move(path)) {}
  // Takes the file as it is now: the start-up has just read it.
  void Settle();
  SettingsLookResult Look();

 private:
  struct Content {
    bool readable = false;
    uint32_t error = 0;  // Win32 error when not readable
    uint64_t size = 0;
    uint64_t hash = 0;
    bool operator==(const Content&) const = default;
  };
  Content Read() const;

  std::wstring path_;
  Content settled_;
  Content candidate_;
  bool haveCandidate_ = false;
};

}  // namespace driftglass
