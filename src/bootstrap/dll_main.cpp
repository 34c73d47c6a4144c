#include <windows.h>

#include "bootstrap/bootstrap_sequence.h"

// Runs under the loader lock, so it only starts the bootstrap thread. Nothing is torn down at
// detach: detours, the log and the reporter live until the process ends.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  DisableThreadLibraryCalls(module);
  HANDLE thread = CreateThread(nullptr, 0, &driftglass::BootstrapThreadProc, module, 0, nullptr);
  if (thread == nullptr) {
    OutputDebugStringW(
        L"[Driftglass] Could not create deferred bootstrap thread; no hooks were installed.\n");
    return TRUE;
  }
  CloseHandle(thread);
  return TRUE;
}
