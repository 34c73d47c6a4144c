#pragma once
// An INI's bytes read as the private-profile functions read the file: the encoding from its
// byte-order mark (UTF-16 either way, UTF-8 where the platform reads it, else the system's code
// page), lines ended by a carriage return or a line feed and trimmed of white space, "[name]" up
// to the line's last ']' opening a section, "key=value" with blanks around both trimmed, sections
// and keys found without regard to case, the first of each name winning, and a value's
// surrounding quotes removed. The settings watcher parses what it read once with this, so a save
// during the reading can never mix two contents.

#include <cstdint>
#include <string>
#include <vector>

namespace driftglass {

class ProfileText {
 public:
  // utf8Signature: whether a UTF-8 byte-order mark is read as one; the profile functions of Wine
  // do, those of Windows read it as three characters of the system's code page.
  ProfileText(const std::string& bytes, bool utf8Signature);
  // What GetPrivateProfileStringW would copy into a buffer of capacity characters with the
  // given default, and the count it would return.
  uint32_t Read(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                uint32_t capacity) const;

 private:
  struct Entry {
    std::wstring name;
    std::wstring value;
    bool hasValue = false;  // a line without '=' names a key with no value
  };
  struct Section {
    std::wstring name;
    std::vector<Entry> entries;
  };
  const Entry* Find(const wchar_t* section, const wchar_t* key) const;

  std::vector<Section> sections_;
};

}  // namespace driftglass
