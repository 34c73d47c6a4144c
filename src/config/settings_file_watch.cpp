#include "config/settings_file_watch.h"

#include <windows.h>

#include "config/profile_text.h"

namespace driftglass {
namespace {

// Far beyond any INI of ours; a bigger file is not held in memory.
constexpr uint64_t kLargestContent = 1u << 20;

}  // namespace

SettingsFileWatch::Content SettingsFileWatch::Read() const {
  Content content;
  // Shared every way, so an editor holding the file is never disturbed by a look.
  const HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    content.error = GetLastError();
    return content;
  }
  char chunk[4096];
  DWORD read = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof(chunk), &read, nullptr) != 0) && read > 0) {
    if (content.bytes.size() + read > kLargestContent) {
      content.tooLarge = true;
      break;
    }
    content.bytes.append(chunk, read);
  }
  if (!ok) content.error = GetLastError();
  content.readable = ok && !content.tooLarge;
  if (!content.readable) content.bytes.clear();
  CloseHandle(file);
  return content;
}

SettingsLookResult SettingsFileWatch::Look() {
  SettingsLookResult result;
  Content now = Read();
  if (seen_ && now == settled_) {
    haveCandidate_ = false;
    return result;
  }
  if (!haveCandidate_ || !(now == candidate_)) {
    candidate_ = std::move(now);
    haveCandidate_ = true;
    result.outcome = SettingsLook::kSettling;
    return result;
  }
  settled_ = std::move(now);
  seen_ = true;
  haveCandidate_ = false;
  if (!settled_.readable) {
    result.outcome = SettingsLook::kMissing;
    if (settled_.tooLarge) {
      result.errorText = L"Configuration file could not be read: " + path_ + L" (larger than 1 MiB)";
    } else if (settled_.error == ERROR_FILE_NOT_FOUND || settled_.error == ERROR_PATH_NOT_FOUND) {
      result.errorText = L"Configuration file not found: " + path_;
    } else {
      result.errorText = L"Configuration file could not be read: " + path_ + L" (Win32 error " +
                         std::to_wstring(settled_.error) + L")";
    }
    return result;
  }
  const PluginConfigResult loaded =
      ParsePluginConfig(ProfileText(settled_.bytes, ProfileFunctionsReadUtf8Signature()));
  result.outcome = loaded.succeeded ? SettingsLook::kRead : SettingsLook::kRejected;
  result.config = loaded.config;
  result.errorText = loaded.errorText;
  return result;
}

bool ProfileFunctionsReadUtf8Signature() {
  // Wine's profile functions honour the UTF-8 mark; Windows' take it for three ANSI characters.
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace driftglass
