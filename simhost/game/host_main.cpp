// The simulated game: loads the plug-in the way a DLL loader would, waits until the plug-in's
// start-up has ended, reports which engine entry points are patched, runs the engine's main loop
// for the scenario, checks its invariants and idles so the plug-in's last report can be written.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "camera/camera_rig.h"
#include "engine/entry_points.h"
#include "files/settings_file_rig.h"
#include "files/write_fault_rig.h"
#include "game/engine_world.h"
#include "input/keyboard_user.h"
#include "input/look_rig.h"
#include "input/mouse_rig.h"
#include "record/host_clock.h"
#include "record/host_record.h"
#include "scenarios/scenario_file.h"

extern "C" {
uint32_t SDL_GetTicks(void);
void SDL_PumpEvents(void);
uint32_t SDL_GetRelativeMouseState(int* x, int* y);
void* NewtonBodyGetUserData(const void* body);
}

namespace {

// Keeps the named imports in the executable's import table, bound by the loader as in the game.
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

void* CurrentSehHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

int Usage() {
  std::fprintf(stderr,
               "usage: simhost [--plugin PATH] [--scenario FILE] [--record FILE]\n"
               "  --plugin    the plug-in DLL; its INI and log sit beside it, as in a game folder\n"
               "  --scenario  key=value file: duration, pacing, frame limit, camera motion\n"
               "  --record    machine-readable record of the run (entries, frames, invariants)\n"
               "Prints the plug-in log lines of this run and a summary; exits 1 when an\n"
               "invariant breaks.\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring plugin;
  std::wstring scenarioPath;
  std::wstring recordPath;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (wcscmp(argv[i], L"--plugin") == 0 && hasValue) {
      plugin = argv[++i];
    } else if (wcscmp(argv[i], L"--scenario") == 0 && hasValue) {
      scenarioPath = argv[++i];
    } else if (wcscmp(argv[i], L"--record") == 0 && hasValue) {
      recordPath = argv[++i];
    } else {
      return Usage();
    }
  }
  Scenario scenario;
  std::string error;
  if (!scenarioPath.empty() && !LoadScenario(scenarioPath, scenario, error)) {
    std::fprintf(stderr, "simhost: scenario: %s\n", error.c_str());
    return 2;
  }
  HostRecord record;
  if (!recordPath.empty() && !record.Open(recordPath)) {
    std::fprintf(stderr, "simhost: cannot write the record file\n");
    return 2;
  }

  SnapshotEntryBytes();
  std::string pluginLog;
  uint32_t (*pluginStageLines)(char*, uint32_t) = nullptr;
  if (!plugin.empty()) {
    WriteFaults().SetPluginPath(plugin);
    SettingsFile().SetPluginPath(plugin);
    const std::wstring logPath = SiblingLogPath(plugin);
    const uint64_t logStart = FileSize(logPath);
    const HMODULE module = LoadLibraryW(plugin.c_str());
    if (module == nullptr) {
      std::fprintf(stderr, "simhost: could not load the plug-in (Win32 error %lu)\n", GetLastError());
      return 1;
    }
    // A measurement build of the plug-in says how many memory-region queries it has made.
    gPluginRegionQueries = reinterpret_cast<uint32_t (*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DriftglassRegionQueries")));
    // And what each of its stages cost, written to the record after the run.
    pluginStageLines = reinterpret_cast<uint32_t (*)(char*, uint32_t)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DriftglassStageLines")));
    // Where it and the game lie, so a profile can name their functions.
    record.Line("plugin base=0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)));
    record.Line("game base=0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))));
    // Nothing may depend on how fast the plug-in's start-up thread runs: wait for its end.
    const double deadline = HostSeconds() + scenario.bootstrapWaitSeconds;
    do {
      pluginLog = ReadFrom(logPath, logStart);
      if (BootstrapFinished(pluginLog)) break;
      Sleep(20);
    } while (HostSeconds() < deadline);
    record.Invariant("plugin-started", BootstrapFinished(pluginLog),
                     "the plug-in's start-up ended in time");
  }

  for (int i = 0; i < kEntryPointCount; ++i) {
    const EntryPoint& e = EntryPoints()[i];
    record.Line("entry name=\"%s\" rva=0x%08X patched=%d", e.name, RvaOf(e.address),
                IsPatched(e) ? 1 : 0);
  }

  EngineWorld& world = CreateEngineWorld(scenario, record);
  void* const sehBefore = CurrentSehHead();
  const uint8_t limitBefore = world.engine->mbLimitFPS;
  CallMember(engine_cEngine_Run, world.engine);
  record.Invariant("seh-chain-restored", CurrentSehHead() == sehBefore,
                   "cEngine::Run unlinked its exception record");
  record.Invariant("frame-limit-restored", world.engine->mbLimitFPS == limitBefore,
                   "mbLimitFPS holds its value from before the loop");
  char checks[96];
  std::snprintf(checks, sizeof(checks), "%u camera checks made", Rig().checks());
  record.Invariant("camera-checks-made", Rig().checks() > 0 || world.counts.frames == 0, checks);
  record.Invariant("every-frame-rendered", world.counts.sceneRender == world.counts.frames &&
                                               world.counts.onDraw == world.counts.frames &&
                                               world.counts.onPostRender == world.counts.frames,
                   "one OnDraw, render and OnPostRender per frame");
  Mouse().Finish();
  Keyboard().Finish();
  WriteFaults().Finish(world.counts.ticks, world.counts.frames);
  Look().Finish(Mouse().UsesMouse() || scenario.cameraMotion == CameraMotion::kMouse);

  Sleep(static_cast<DWORD>(scenario.idleAfterSeconds * 1000));
  for (int i = 0; i < kEntryPointCount; ++i) {
    const EntryPoint& e = EntryPoints()[i];
    char detail[128];
    std::snprintf(detail, sizeof(detail), "%s keeps its own bytes beyond any detour jump", e.name);
    record.Invariant("entry-bytes", EntryBytesIntact(e, i), detail);
  }
  if (pluginStageLines != nullptr) {
    static char stages[16384];
    const uint32_t length = pluginStageLines(stages, sizeof(stages) - 1);
    stages[length] = '\0';
    for (char* line = stages; *line != '\0';) {
      char* const end = std::strchr(line, '\n');
      if (end == nullptr) break;
      *end = '\0';
      record.Line("%s", line);
      line = end + 1;
    }
  }
  const HostCounts& c = world.counts;
  record.Line("summary ticks=%u ondraw=%u onpostrender=%u scenerender=%u frames=%u other=%u "
              "seconds=%.3f checks=%llu failures=%d",
              c.ticks, c.onDraw, c.onPostRender, c.sceneRender, c.frames, c.otherMessages,
              scenario.durationSeconds, record.checks(), record.failures());
  record.Close();

  if (!plugin.empty()) {
    pluginLog = ReadFrom(SiblingLogPath(plugin), 0);
  }
  std::printf("simhost: %u ticks, %u frames in %.1f s; %d invariant failures\n", c.ticks, c.frames,
              scenario.durationSeconds, record.failures());
  return record.failures() == 0 && gImportedFunctions[0] != nullptr ? 0 : 1;
}
