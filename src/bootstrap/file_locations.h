#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace driftglass {

using ModuleFileNameFunction = DWORD(WINAPI*)(HMODULE, LPWSTR, DWORD);

// Full path of a module (null: the main executable), or empty on failure. Grows the buffer from
// 512 up to 32768 characters while the answer may have been cut.
std::wstring GetModulePath(HMODULE module);
std::wstring GetModulePath(HMODULE module, ModuleFileNameFunction query);

// Replaces the last extension of the file name with suffix, or appends suffix when the name has
// none (a dot inside a folder name does not count).
std::wstring MakeSiblingPath(const std::wstring& path, const wchar_t* suffix);

// %LOCALAPPDATA%\Driftglass\Driftglass.log, creating that one folder; empty on failure.
std::wstring GetFallbackLogPath();

struct PluginFileLocations {
  std::wstring modulePath;
  std::wstring configPath;
  std::wstring logPath;
  std::wstring motionTracePath;
};

PluginFileLocations DerivePluginFileLocations(const std::wstring& modulePath);

// The motion trace's file of a start's nth recording: the first is motionTracePath itself, a later
// one started while the game runs gets its number before the extension (Driftglass.motion.2.csv).
std::wstring NumberedTracePath(const std::wstring& motionTracePath, uint32_t recording);

}  // namespace driftglass
