// Machine code nobody here wrote: the exported functions of the system DLLs, each hooked alone
// with a detour that only jumps on to its trampoline.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "code_buffer.h"
#include "detour.h"

namespace detour {
namespace {

struct Export {
  std::string module;
  std::string name;
  void* address;
};

bool IsCommittedCode(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(address, &info, sizeof(info)) == sizeof(info) && info.State == MEM_COMMIT &&
         (info.Protect & 0xF0) != 0 && (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
}

// Named exports of a module that point at code: forwarders (addresses inside the export
// directory) and data exports (addresses outside executable pages) are left out.
std::vector<Export> CodeExports(const char* moduleName) {
  std::vector<Export> result;
  HMODULE module = LoadLibraryA(moduleName);
  if (module == nullptr) return result;
  auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0) return result;
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* functions = reinterpret_cast<const uint32_t*>(base + exports->AddressOfFunctions);
  const auto* names = reinterpret_cast<const uint32_t*>(base + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const uint16_t*>(base + exports->AddressOfNameOrdinals);
  for (uint32_t i = 0; i < exports->NumberOfNames; ++i) {
    const uint32_t rva = functions[ordinals[i]];
    if (rva >= directory.VirtualAddress && rva < directory.VirtualAddress + directory.Size) continue;
    void* address = const_cast<uint8_t*>(base + rva);
    if (!IsCommittedCode(address)) continue;
    result.push_back({moduleName, reinterpret_cast<const char*>(base + names[i]), address});
  }
  return result;
}

// What the engine itself calls while it suspends threads and patches code.
std::vector<void*> FunctionsTheEngineUses() {
  const char* kernel[] = {"OpenThread", "SuspendThread", "ResumeThread", "GetThreadContext",
                          "SetThreadContext", "CloseHandle", "VirtualProtect", "VirtualQuery",
                          "VirtualAlloc", "VirtualFree", "FlushInstructionCache",
                          "GetCurrentProcess", "GetCurrentThreadId", "GetCurrentProcessId",
                          "GetExitCodeThread", "GetLastError", "AcquireSRWLockExclusive",
                          "ReleaseSRWLockExclusive"};
  const char* ntdll[] = {"NtQuerySystemInformation", "ZwQuerySystemInformation", "NtOpenThread",
                         "NtSuspendThread", "NtResumeThread", "NtGetContextThread",
                         "NtSetContextThread", "NtClose", "NtProtectVirtualMemory",
                         "NtQueryVirtualMemory", "NtFlushInstructionCache",
                         "NtAllocateVirtualMemory", "NtFreeVirtualMemory",
                         "NtQueryInformationThread", "RtlAcquireSRWLockExclusive",
                         "RtlReleaseSRWLockExclusive", "RtlGetLastWin32Error"};
  const char* crt[] = {"memcpy", "memcmp", "memset", "memchr"};
  std::vector<void*> used;
  const auto add = [&used](const char* module, const char* name) {
    if (HMODULE m = GetModuleHandleA(module)) {
      if (FARPROC p = GetProcAddress(m, name)) used.push_back(reinterpret_cast<void*>(p));
    }
  };
  for (const char* module : {"kernel32.dll", "kernelbase.dll"}) {
    for (const char* name : kernel) add(module, name);
  }
  for (const char* name : ntdll) {
    add("ntdll.dll", name);
    std::string zw = name;
    if (zw.rfind("Nt", 0) == 0) add("ntdll.dll", ("Zw" + zw.substr(2)).c_str());
  }
  for (const char* name : crt) add("msvcrt.dll", name);
  return used;
}

TEST(ForeignCode, SystemDllExportsHookAndUnhookCleanly) {
  std::vector<void*> excluded = FunctionsTheEngineUses();
  std::vector<Export> candidates;
  std::vector<void*> seen;
  for (const char* module : {"kernel32.dll", "ntdll.dll", "msvcrt.dll", "user32.dll"}) {
    for (const Export& e : CodeExports(module)) {
      if (std::find(seen.begin(), seen.end(), e.address) != seen.end()) continue;  // aliases
      seen.push_back(e.address);
      if (std::find(excluded.begin(), excluded.end(), e.address) != excluded.end()) continue;
      candidates.push_back(e);
    }
  }
  ASSERT_GE(candidates.size(), 300u);

  test::CodeBuffer stubs(8 * candidates.size() + 64);
  std::vector<void*> trampolines(candidates.size(), nullptr);
  std::vector<void*> detours;
  for (size_t i = 0; i < candidates.size(); ++i) {
    detours.push_back(stubs.cursor());
    stubs.Emit({0xFF, 0x25}).EmitAddress(&trampolines[i]);  // jmp [trampoline]
    stubs.Emit({0xCC, 0xCC});
  }
  stubs.Protect(PAGE_EXECUTE_READ);

  ASSERT_EQ(MH_Initialize(), MH_OK);
  size_t accepted = 0;
  size_t refused = 0;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Export& e = candidates[i];
    std::vector<uint8_t> before(static_cast<uint8_t*>(e.address), static_cast<uint8_t*>(e.address) + 5);
    const MH_STATUS created = MH_CreateHook(e.address, detours[i], &trampolines[i]);
    if (created == MH_ERROR_UNSUPPORTED_FUNCTION) {
      ++refused;
      continue;
    }
    ASSERT_EQ(created, MH_OK) << e.module << "!" << e.name;
    ASSERT_EQ(MH_EnableHook(e.address), MH_OK) << e.module << "!" << e.name;
    ASSERT_EQ(MH_DisableHook(e.address), MH_OK) << e.module << "!" << e.name;
    ASSERT_EQ(MH_RemoveHook(e.address), MH_OK) << e.module << "!" << e.name;
    EXPECT_EQ(memcmp(before.data(), e.address, 5), 0) << e.module << "!" << e.name;
    ++accepted;
  }
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
  // Most system functions start with an ordinary prologue; the engine must take them.
  EXPECT_GE(accepted, 300u);
  printf("foreign code: %zu exported functions, %zu hooked, %zu refused as unsupported\n",
         candidates.size(), accepted, refused);
}

const char kText[] = "Driftglass presents frames";
const wchar_t kWide[] = L"Driftglass presents frames";

// Calls through an enabled hook give what the unhooked function gives.
struct Probe {
  const char* module;
  const char* name;
  uintptr_t (*call)(void* function);
};

template <typename R>
uintptr_t Word(R value) {
  if constexpr (std::is_pointer_v<R>) {
    return reinterpret_cast<uintptr_t>(value);
  } else {
    return static_cast<uintptr_t>(value);
  }
}
template <typename R, typename... A>
uintptr_t As(void* f, A... a) {
  return Word(reinterpret_cast<R (*)(A...)>(f)(a...));
}
template <typename R, typename... A>
uintptr_t AsApi(void* f, A... a) {
  return Word(reinterpret_cast<R(WINAPI*)(A...)>(f)(a...));
}
uintptr_t OffsetInText(uintptr_t found) { return found - reinterpret_cast<uintptr_t>(kText); }


const Probe kProbes[] = {
    {"msvcrt.dll", "strlen", [](void* f) { return As<size_t>(f, kText); }},
    {"msvcrt.dll", "strcmp", [](void* f) { return As<int>(f, kText, "Driftglass"); }},
    {"msvcrt.dll", "strncmp", [](void* f) { return As<int>(f, kText, "Driftglass", size_t{10}); }},
    {"msvcrt.dll", "strchr", [](void* f) { return OffsetInText(As<const char*>(f, kText, 'p')); }},
    {"msvcrt.dll", "strrchr", [](void* f) { return OffsetInText(As<const char*>(f, kText, 's')); }},
    {"msvcrt.dll", "strstr", [](void* f) { return OffsetInText(As<const char*>(f, kText, "frames")); }},
    {"msvcrt.dll", "wcslen", [](void* f) { return As<size_t>(f, kWide); }},
    {"msvcrt.dll", "wcscmp", [](void* f) { return As<int>(f, kWide, L"Drift"); }},
    {"msvcrt.dll", "_stricmp", [](void* f) { return As<int>(f, "DRIFTGLASS", "driftglass"); }},
    {"msvcrt.dll", "atoi", [](void* f) { return As<int>(f, "  -1234x"); }},
    {"msvcrt.dll", "strtol", [](void* f) { return As<long>(f, "7fff", static_cast<char**>(nullptr), 16); }},
    {"msvcrt.dll", "abs", [](void* f) { return As<int>(f, -77); }},
    {"msvcrt.dll", "labs", [](void* f) { return As<long>(f, -78L); }},
    {"msvcrt.dll", "toupper", [](void* f) { return As<int>(f, 'q'); }},
    {"msvcrt.dll", "tolower", [](void* f) { return As<int>(f, 'Q'); }},
    {"msvcrt.dll", "isalpha", [](void* f) { return uintptr_t{As<int>(f, 'g') != 0}; }},
    {"msvcrt.dll", "isdigit", [](void* f) { return uintptr_t{As<int>(f, '7') != 0}; }},
    {"kernel32.dll", "lstrlenA", [](void* f) { return AsApi<int>(f, kText); }},
    {"kernel32.dll", "lstrlenW", [](void* f) { return AsApi<int>(f, kWide); }},
    {"kernel32.dll", "lstrcmpiA", [](void* f) { return AsApi<int>(f, "ABC", "abd"); }},
    {"kernel32.dll", "lstrcmpW", [](void* f) { return AsApi<int>(f, L"abc", L"abc"); }},
    {"kernel32.dll", "MulDiv", [](void* f) { return AsApi<int>(f, 1000, 144, 60); }},
    {"kernel32.dll", "GetACP", [](void* f) { return AsApi<UINT>(f); }},
    {"kernel32.dll", "GetVersion", [](void* f) { return AsApi<DWORD>(f); }},
    {"ntdll.dll", "RtlUlongByteSwap", [](void* f) {
       return static_cast<uintptr_t>(reinterpret_cast<ULONG(__fastcall*)(ULONG)>(f)(0x11223344));
     }},
    {"user32.dll", "CharUpperA", [](void* f) { return AsApi<LPSTR>(f, reinterpret_cast<LPSTR>(uintptr_t{'z'})); }},
    {"user32.dll", "IsCharAlphaW", [](void* f) { return uintptr_t{AsApi<BOOL>(f, L'k') != 0}; }},
};

TEST(ForeignCode, CallsThroughEnabledHooksReturnTheSame) {
  test::CodeBuffer stubs;
  void* trampolines[sizeof(kProbes) / sizeof(kProbes[0])] = {};
  ASSERT_EQ(MH_Initialize(), MH_OK);
  size_t checked = 0;
  for (size_t i = 0; i < sizeof(kProbes) / sizeof(kProbes[0]); ++i) {
    const Probe& p = kProbes[i];
    HMODULE module = LoadLibraryA(p.module);
    void* function = module ? reinterpret_cast<void*>(GetProcAddress(module, p.name)) : nullptr;
    if (function == nullptr) continue;
    const uintptr_t expected = p.call(function);
    void* detour = stubs.cursor();
    stubs.Emit({0xFF, 0x25}).EmitAddress(&trampolines[i]);
    const MH_STATUS created = MH_CreateHook(function, detour, &trampolines[i]);
    if (created == MH_ERROR_UNSUPPORTED_FUNCTION) continue;
    ASSERT_EQ(created, MH_OK) << p.name;
    ASSERT_EQ(MH_EnableHook(function), MH_OK) << p.name;
    EXPECT_EQ(p.call(function), expected) << p.name << " through the hook";
    EXPECT_EQ(p.call(trampolines[i]), expected) << p.name << " through the trampoline";
    ASSERT_EQ(MH_DisableHook(function), MH_OK) << p.name;
    ++checked;
  }
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
  EXPECT_GE(checked, 20u);
}

}  // namespace
}  // namespace detour
