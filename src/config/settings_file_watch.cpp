#include "config/settings_file_watch.h"

#include <windows.h>

namespace driftglass {
namespace {

// FNV-1a: enough to tell two readings of a small text file apart.
uint64_t Hash(uint64_t hash, const uint8_t* bytes, DWORD count) {
  for (DWORD i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
  return hash;
}

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
  content.hash = 0xCBF29CE484222325ull;
  uint8_t chunk[4096];
  DWORD read = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof(chunk), &read, nullptr) != 0) && read > 0) {
    content.hash = Hash(content.hash, chunk, read);
    content.size += read;
  }
  if (!ok) content.error = GetLastError();
  content.readable = ok;
  CloseHandle(file);
  return content;
}

void SettingsFileWatch::Settle() {
  settled_ = Read();
  haveCandidate_ = false;
}

SettingsLookResult SettingsFileWatch::Look() {
  SettingsLookResult result;
  const Content now = Read();
  if (now == settled_) {
    haveCandidate_ = false;
    return result;
  }
  if (!haveCandidate_ || !(now == candidate_)) {
    candidate_ = now;
    haveCandidate_ = true;
    result.outcome = SettingsLook::kSettling;
    return result;
  }
  if (!now.readable) {
    settled_ = now;
    haveCandidate_ = false;
    result.outcome = SettingsLook::kMissing;
    result.errorText = now.error == ERROR_FILE_NOT_FOUND || now.error == ERROR_PATH_NOT_FOUND
                           ? L"Configuration file not found: " + path_
                           : L"Configuration file could not be read: " + path_ + L" (Win32 error " +
                                 std::to_wstring(now.error) + L")";
    return result;
  }
  const PluginConfigResult loaded = LoadPluginConfig(path_);
  if (!(Read() == now)) {
    // Written to while the keys were read: not one content, so not taken.
    haveCandidate_ = false;
    result.outcome = SettingsLook::kSettling;
    return result;
  }
  settled_ = now;
  haveCandidate_ = false;
  result.outcome = loaded.succeeded ? SettingsLook::kRead : SettingsLook::kRejected;
  result.config = loaded.config;
  result.errorText = loaded.errorText;
  return result;
}

}  // namespace driftglass
