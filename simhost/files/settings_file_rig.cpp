#include "files/settings_file_rig.h"

#include <windows.h>

#include <algorithm>

#include "record/host_record.h"

namespace {

SettingsFileRig gSettingsFile;

std::string ReadAll(const std::wstring& path) {
  std::string text;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) text.append(chunk, read);
  CloseHandle(file);
  return text;
}

}  // namespace

SettingsFileRig& SettingsFile() { return gSettingsFile; }

void SettingsFileRig::Init(const Scenario& scenario, HostRecord* record) {
  record_ = record;
  for (const CameraEvent& e : scenario.events) {
    if (e.name == "ini_rewrite") rewrites_.push_back(Rewrite{e.tick, e.timed ? e.duration : 0, 0, {}});
  }
  std::stable_sort(rewrites_.begin(), rewrites_.end(),
                   [](const Rewrite& a, const Rewrite& b) { return a.tick < b.tick; });
  // The contents are read now, before the loop: nothing slows the frames that rewrite.
  for (size_t i = 0; i < rewrites_.size() && !iniPath_.empty(); ++i) {
    rewrites_[i].content = ReadAll(iniPath_ + L"." + std::to_wstring(i + 1));
  }
}

void SettingsFileRig::SetPluginPath(const std::wstring& plugin) {
  const size_t dot = plugin.find_last_of(L'.');
  iniPath_ = (dot == std::wstring::npos ? plugin : plugin.substr(0, dot)) + L".ini";
}

bool SettingsFileRig::Write(const std::string& bytes, bool truncate) {
  const HANDLE file = CreateFileW(iniPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

void SettingsFileRig::AfterFrame(uint32_t completedTicks, double wallSeconds) {
  for (size_t i = 0; i < rewrites_.size(); ++i) {
    Rewrite& r = rewrites_[i];
    if (r.stage == 2 || completedTicks < r.tick) continue;
    const size_t half = r.content.size() / 2;
    bool ok = true;
    if (r.stage == 0) {
      ok = Write(r.content.substr(0, half), true);
      r.stage = 1;
    }
    if (r.stage == 1 && completedTicks >= r.tick + r.holdTicks) {
      ok = Write(r.content.substr(half), false) && ok;
      r.stage = 2;
      record_->Line("fact name=ini_rewrite index=%u tick=%u wall=%.7f ok=%d", static_cast<unsigned>(i + 1),
                    completedTicks, wallSeconds, ok ? 1 : 0);
    }
    return;  // one rewrite at a time, in tick order
  }
}
