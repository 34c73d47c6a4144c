// The simulated game: loads the plug-in the way a DLL loader would and runs until the plug-in's
// start-up has finished, so its log can be read.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

extern "C" {
uint32_t SDL_GetTicks(void);
void SDL_PumpEvents(void);
uint32_t SDL_GetRelativeMouseState(int* x, int* y);
void* NewtonBodyGetUserData(const void* body);
}

namespace {

// Keeps the imports in the executable's import table, bound by the loader as in the real game.
void* volatile gImportedFunctions[] = {
    reinterpret_cast<void*>(&NewtonBodyGetUserData),
    reinterpret_cast<void*>(&SDL_GetRelativeMouseState),
    reinterpret_cast<void*>(&SDL_PumpEvents),
    reinterpret_cast<void*>(&SDL_GetTicks),
};

const char* const kBootstrapEndings[] = {
    "Requested hooks are active.",
    "Fail-closed: ",
    "Plugin disabled by [General] Enabled=false.",
    "No engine hooks were requested; executable signature validation was skipped.",
};

std::wstring SiblingLogPath(const std::wstring& plugin) {
  const size_t separator = plugin.find_last_of(L"\\/");
  const size_t dot = plugin.find_last_of(L'.');
  if (dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator)) {
    return plugin.substr(0, dot) + L".log";
  }
  return plugin + L".log";
}

std::string ReadFrom(const std::wstring& path, uint64_t offset) {
  std::string text;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  if (static_cast<uint64_t>(size.QuadPart) > offset) {
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(offset);
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    text.resize(static_cast<size_t>(size.QuadPart - static_cast<LONGLONG>(offset)));
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    text.resize(read);
  }
  CloseHandle(file);
  return text;
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool BootstrapFinished(const std::string& text) {
  for (const char* ending : kBootstrapEndings) {
    if (text.find(ending) != std::string::npos) return true;
  }
  return false;
}

int Usage() {
  std::fprintf(stderr,
               "usage: simhost --plugin PATH [--wait-seconds N]\n"
               "  Loads the plug-in and waits (default 30 s) until its log shows that start-up\n"
               "  ended; prints the lines this run added to the log.\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring plugin;
  unsigned waitSeconds = 30;
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--plugin") == 0 && i + 1 < argc) {
      plugin = argv[++i];
    } else if (wcscmp(argv[i], L"--wait-seconds") == 0 && i + 1 < argc) {
      waitSeconds = static_cast<unsigned>(wcstoul(argv[++i], nullptr, 10));
    } else {
      return Usage();
    }
  }
  if (plugin.empty()) return Usage();

  const std::wstring logPath = SiblingLogPath(plugin);
  const uint64_t logStart = FileSize(logPath);
  if (LoadLibraryW(plugin.c_str()) == nullptr) {
    std::fprintf(stderr, "simhost: could not load the plug-in (Win32 error %lu)\n",
                 GetLastError());
    return 1;
  }
  std::string added;
  for (unsigned waited = 0; waited < waitSeconds * 20; ++waited) {
    added = ReadFrom(logPath, logStart);
    if (BootstrapFinished(added)) break;
    Sleep(50);
  }
  std::fwrite(added.data(), 1, added.size(), stdout);
  if (!BootstrapFinished(added)) {
    std::fprintf(stderr, "simhost: the plug-in's start-up did not finish within %u s\n",
                 waitSeconds);
    return 1;
  }
  return gImportedFunctions[0] != nullptr ? 0 : 1;
}
