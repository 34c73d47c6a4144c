#pragma once
// Looks at the INI now and then, off the game's paths, and says when its content has changed and
// settled. A content is taken only when two looks in a row found the same bytes, and the keys are
// read from those bytes, never from the file again: an editor that empties the file and then
// writes it, or writes it in pieces, is never read in between.

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
  // The first content seen is new: the caller compares it with the settings it runs with, so an
  // edit saved while the plug-in started is not lost.
  explicit SettingsFileWatch(std::wstring path) : path_(std::move(path)) {}
  SettingsLookResult Look();

 private:
  struct Content {
    bool readable = false;
    bool tooLarge = false;
    uint32_t error = 0;  // Win32 error when not readable
    std::string bytes;
    bool operator==(const Content&) const = default;
  };
  Content Read() const;

  std::wstring path_;
  bool seen_ = false;
  Content settled_;
  Content candidate_;
  bool haveCandidate_ = false;
};

// Whether this platform's profile functions take a UTF-8 byte-order mark for one.
bool ProfileFunctionsReadUtf8Signature();

}  // namespace driftglass
