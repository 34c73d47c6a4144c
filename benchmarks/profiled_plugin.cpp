// The plug-in as a benchmark sees it: the same start-up, plus one export through which the
// simulated game reads how many memory-region queries the plug-in's guarded checks have made.
// Built only for measurements; the product itself exports nothing.
#include <windows.h>

#include "bootstrap/bootstrap_sequence.h"
#include "host/guarded_memory.h"
#include "install/hook_installer.h"
#include "log/diagnostic_log.h"

namespace {

DWORD WINAPI Bootstrap(LPVOID module) {
  static driftglass::HookInstallation installation;
  return driftglass::RunBootstrap(static_cast<HMODULE>(module), driftglass::ProcessLog(), installation);
}

}  // namespace

extern "C" __declspec(dllexport) uint32_t DriftglassRegionQueries() { return driftglass::RegionQueryCount(); }

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    HANDLE thread = CreateThread(nullptr, 0, &Bootstrap, module, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
  }
  return TRUE;
}
