#pragma once

#include <string>

namespace driftglass::test {

// A fresh folder under the temporary directory, removed with its files when the object dies.
class TempFolder {
 public:
  TempFolder();
  // A fresh folder inside parent instead.
  explicit TempFolder(const std::wstring& parent);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace driftglass::test
