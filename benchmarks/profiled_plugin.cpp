// The plug-in as a benchmark sees it: the same start-up, built with the stage meter, plus two
// exports through which the simulated game reads how many memory-region queries the plug-in's
// guarded checks have made and what each stage cost. Built only for measurements; the product
// itself exports nothing.
#include <windows.h>

#include <cstdio>

#include "bootstrap/bootstrap_sequence.h"
#include "host/guarded_memory.h"
#include "install/hook_installer.h"
#include "log/diagnostic_log.h"
#include "measure/stage_meter.h"

namespace {

DWORD WINAPI Bootstrap(LPVOID module) {
  static driftglass::HookInstallation installation;
  return driftglass::RunBootstrap(static_cast<HMODULE>(module), driftglass::ProcessLog(), installation);
}

}  // namespace

extern "C" __declspec(dllexport) uint32_t DriftglassRegionQueries() { return driftglass::RegionQueryCount(); }

// One "stage ..." line per stage, in report order; returns the characters written.
extern "C" __declspec(dllexport) uint32_t DriftglassStageLines(char* buffer, uint32_t capacity) {
  static const char* const kSides[] = {"tick", "frame", "physics"};
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  uint32_t used = 0;
  for (uint32_t stage = 0; stage < driftglass::kStageCount && used < capacity; ++stage) {
    const driftglass::MeasuredStageInfo& info = driftglass::StageInfo(stage);
    const driftglass::MeasuredStageTotals t = driftglass::ReadStageTotals(stage);
    const int written = std::snprintf(
        buffer + used, capacity - used,
        "stage name=%s parent=%s side=%s calls=%llu us=%.1f queries=%llu host_calls=%llu "
        "system_calls=%llu sampled_queries=%u sampled_regions=%u\n",
        info.name, info.parent < driftglass::kStageCount ? driftglass::StageInfo(info.parent).name : "-",
        kSides[info.side],
        static_cast<unsigned long long>(t.calls),
        static_cast<double>(t.counterTicks) * 1e6 / static_cast<double>(frequency.QuadPart),
        static_cast<unsigned long long>(t.regionQueries), static_cast<unsigned long long>(t.hostCalls),
        static_cast<unsigned long long>(t.systemCalls), t.sampledQueries, t.sampledRegions);
    if (written < 0 || static_cast<uint32_t>(written) >= capacity - used) break;
    used += static_cast<uint32_t>(written);
  }
  return used;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    HANDLE thread = CreateThread(nullptr, 0, &Bootstrap, module, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
  }
  return TRUE;
}
