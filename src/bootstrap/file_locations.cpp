#include "bootstrap/file_locations.h"

#include <vector>

namespace driftglass {
namespace {

constexpr DWORD kFirstPathCapacity = 512;
constexpr DWORD kMaxPathCapacity = 32768;
constexpr DWORD kEnvironmentCapacity = 32768;

}  // namespace

std::wstring GetModulePath(HMODULE module) { return GetModulePath(module, &GetModuleFileNameW); }

std::wstring GetModulePath(HMODULE module, ModuleFileNameFunction query) {
  for (DWORD capacity = kFirstPathCapacity;; capacity *= 2) {
    if (capacity > kMaxPathCapacity) capacity = kMaxPathCapacity;
    std::vector<wchar_t> buffer(capacity, L'\0');
    const DWORD length = query(module, buffer.data(), capacity);
    if (length == 0) return {};
    // A full buffer may hold a cut path; only an answer with room to spare is trusted.
    if (length < capacity - 1) return std::wstring(buffer.data(), length);
    if (capacity == kMaxPathCapacity) return {};
  }
}

std::wstring MakeSiblingPath(const std::wstring& path, const wchar_t* suffix) {
  const size_t separator = path.find_last_of(L"\\/");
  const size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator)) {
    return path.substr(0, dot) + suffix;
  }
  return path + suffix;
}

std::wstring GetFallbackLogPath() {
  std::vector<wchar_t> value(kEnvironmentCapacity, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), kEnvironmentCapacity);
  if (length == 0 || length >= kEnvironmentCapacity) return {};
  const std::wstring folder = std::wstring(value.data(), length) + L"\\Driftglass";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return {};
  }
  return folder + L"\\Driftglass.log";
}

PluginFileLocations DerivePluginFileLocations(const std::wstring& modulePath) {
  PluginFileLocations locations;
  locations.modulePath = modulePath;
  locations.configPath = MakeSiblingPath(modulePath, L".ini");
  locations.logPath = MakeSiblingPath(modulePath, L".log");
  locations.motionTracePath = MakeSiblingPath(modulePath, L".motion.csv");
  return locations;
}

std::wstring NumberedTracePath(const std::wstring& motionTracePath, uint32_t recording) {
  if (recording <= 1) return motionTracePath;
  const size_t dot = motionTracePath.rfind(L'.');
  const size_t separator = motionTracePath.find_last_of(L"\\/");
  const bool hasExtension = dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator);
  const size_t at = hasExtension ? dot : motionTracePath.size();
  return motionTracePath.substr(0, at) + L"." + std::to_wstring(recording) + motionTracePath.substr(at);
}

}  // namespace driftglass
