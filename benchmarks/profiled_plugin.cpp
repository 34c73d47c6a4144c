// The plug-in as a benchmark sees it: the same start-up, built with the stage meter, plus two
// exports through which the simulated game reads how many memory-region queries the plug-in's
// guarded checks have made and what each stage cost, with the prices needed to take the queries
// and the meter itself out of it. Built only for measurements; the product
// itself exports nothing.
#include <windows.h>
#include <x86intrin.h>

#include <algorithm>
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

extern "C" __declspec(dllexport) uint32_t DriftglassRegionQueries() { return driftglass::MeasuredRegionQueries(); }

namespace {

// What a region query costs through the plug-in's own guard in a loop over the regions the sampled
// tick and frame queried, now, in this process (the median of its rounds): a check on the price
// the stages measured around each of their queries.
double RegionQueryMicroseconds(double ticksPerSecond) {
  static const void* regions[4096];
  const uint32_t count = driftglass::SampledRegionBases(regions, 4096);
  if (count == 0 || ticksPerSecond <= 0) return 0.0;
  constexpr uint32_t kRounds = 21;
  uint64_t rounds[kRounds];
  for (uint64_t& round : rounds) {
    const uint64_t start = __rdtsc();
    for (uint32_t i = 0; i < count; ++i) driftglass::IsRangeReadable(regions[i], 4);
    round = __rdtsc() - start;
  }
  std::sort(rounds, rounds + kRounds);
  return static_cast<double>(rounds[kRounds / 2]) * 1e6 / ticksPerSecond / count;
}

}  // namespace

// A "stage_calibration" line (a region query's price in a loop, and what the meter adds to each
// stage call, region query and call into the game, in microseconds), then one "stage ..." line per stage, in report order; returns the
// characters written.
extern "C" __declspec(dllexport) uint32_t DriftglassStageLines(char* buffer, uint32_t capacity) {
  static const char* const kSides[] = {"tick", "frame", "physics"};
  const double ticksPerSecond = driftglass::MeasuredTicksPerSecond();
  const double toUs = ticksPerSecond > 0 ? 1e6 / ticksPerSecond : 0.0;
  const driftglass::MeterOverheads meter = driftglass::MeasureMeterOverheads(100000);
  int written = std::snprintf(buffer, capacity,
                              "stage_calibration query_us=%.4f stage_us=%.4f meter_query_us=%.4f "
                              "meter_host_call_us=%.4f ticks_per_us=%.2f\n",
                              RegionQueryMicroseconds(ticksPerSecond), meter.stageTicks * toUs,
                              meter.queryTicks * toUs, meter.hostCallTicks * toUs, ticksPerSecond / 1e6);
  if (written < 0 || static_cast<uint32_t>(written) >= capacity) return 0;
  uint32_t used = static_cast<uint32_t>(written);
  for (uint32_t stage = 0; stage < driftglass::kStageCount && used < capacity; ++stage) {
    const driftglass::MeasuredStageInfo& info = driftglass::StageInfo(stage);
    const driftglass::MeasuredStageTotals t = driftglass::ReadStageTotals(stage);
    written = std::snprintf(
        buffer + used, capacity - used,
        "stage name=%s parent=%s side=%s calls=%llu us=%.1f queries=%llu query_us=%.1f host_calls=%llu "
        "host_us=%.1f system_calls=%llu sampled_queries=%u sampled_regions=%u\n",
        info.name, info.parent < driftglass::kStageCount ? driftglass::StageInfo(info.parent).name : "-",
        kSides[info.side],
        static_cast<unsigned long long>(t.calls), static_cast<double>(t.counterTicks) * toUs,
        static_cast<unsigned long long>(t.regionQueries), static_cast<double>(t.queryTicks) * toUs,
        static_cast<unsigned long long>(t.hostCalls),
        static_cast<double>(t.hostTicks) * toUs,
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
