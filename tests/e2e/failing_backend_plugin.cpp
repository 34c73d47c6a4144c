// The plug-in with test seams: its detour backend fails the Nth MH_CreateHook call (N from the
// environment variable DRIFTGLASS_TEST_FAIL_CREATE_CALL) and otherwise is the real engine, and the
// reporter's start fails at the kernel call named by DRIFTGLASS_TEST_FAIL_REPORTER ("CreateEventW"
// or "CreateThread"). Built only for tests.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "bootstrap/bootstrap_sequence.h"
#include "install/hook_backend.h"
#include "install/hook_installer.h"
#include "log/diagnostic_log.h"

namespace {

long gFailAtCall = 0;
long gCalls = 0;

MH_STATUS FailingCreateHook(void* target, void* detour, void** original) {
  if (++gCalls == gFailAtCall) return MH_ERROR_MEMORY_ALLOC;
  return MH_CreateHook(target, detour, original);
}

HANDLE WINAPI FailingCreateEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

HANDLE WINAPI FailingCreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                  LPDWORD) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

DWORD WINAPI Bootstrap(LPVOID module) {
  char value[16] = {};
  GetEnvironmentVariableA("DRIFTGLASS_TEST_FAIL_CREATE_CALL", value, sizeof(value));
  gFailAtCall = atol(value);
  static driftglass::HookBackend backend = driftglass::DetourEngineBackend();
  backend.createHook = &FailingCreateHook;
  static driftglass::HookInstallation installation;
  installation.backend = &backend;
  char failingCall[32] = {};
  GetEnvironmentVariableA("DRIFTGLASS_TEST_FAIL_REPORTER", failingCall, sizeof(failingCall));
  if (strcmp(failingCall, "CreateEventW") == 0) installation.createEvent = &FailingCreateEvent;
  if (strcmp(failingCall, "CreateThread") == 0) installation.createThread = &FailingCreateThread;
  return driftglass::RunBootstrap(static_cast<HMODULE>(module), driftglass::ProcessLog(),
                                  installation);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    HANDLE thread = CreateThread(nullptr, 0, &Bootstrap, module, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
  }
  return TRUE;
}
