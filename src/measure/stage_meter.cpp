#include "measure/stage_meter.h"

#ifdef DRIFTGLASS_MEASURE
#include <windows.h>
#include <x86intrin.h>

#include <atomic>
#endif

namespace driftglass {
namespace {

const MeasuredStageInfo kStages[kStageCount] = {
    {"hands-update", kStageNone, kSideTick},
    {"prop-update", kStageNone, kSideTick},
    {"enemy-update", kStageNone, kSideTick},
    {"input-detours", kStageNone, kSideTick},
    {"tick-capture", kStageNone, kSideTick},
    {"camera-capture", kStageTickCapture, kSideTick},
    {"hands-capture", kStageTickCapture, kSideTick},
    {"world-capture", kStageTickCapture, kSideTick},
    {"moved-bodies", kStageWorldCapture, kSideTick},
    {"hands-pose-capture", kStageTickCapture, kSideTick},
    {"enemy-pose-capture", kStageTickCapture, kSideTick},
    {"draw-message", kStageNone, kSideFrame},
    {"frame-apply", kStageNone, kSideFrame},
    {"mouse-poll", kStageFrameApply, kSideFrame},
    {"sdl-pump", kStageMousePoll, kSideFrame},
    {"camera-apply", kStageFrameApply, kSideFrame},
    {"hands-apply", kStageFrameApply, kSideFrame},
    {"world-apply", kStageFrameApply, kSideFrame},
    {"hands-pose-apply", kStageFrameApply, kSideFrame},
    {"enemy-pose-apply", kStageFrameApply, kSideFrame},
    {"frame-restore", kStageNone, kSideFrame},
    {"model-matrix", kStageNone, kSideFrame},
    {"transform-callback", kStageNone, kSidePhysics},
};

#ifdef DRIFTGLASS_MEASURE

// Which tick and which frame have their regions counted: late enough for a busy scene to be
// tracked in full, early enough for a 3-second run.
constexpr uint64_t kSampledTick = 100;
constexpr uint64_t kSampledFrame = 400;
constexpr uint32_t kMostSampledRegions = 2048;

struct StageTotals {
  std::atomic<uint64_t> calls{0};
  std::atomic<uint64_t> counterTicks{0};
  std::atomic<uint64_t> regionQueries{0};
  std::atomic<uint64_t> hostCalls{0};
  std::atomic<uint64_t> hostTicks{0};
  std::atomic<uint64_t> queryTicks{0};
  std::atomic<uint64_t> systemCalls{0};
  // Written by the main thread during the sampled tick or frame only.
  uint32_t sampledQueries = 0;
  uint32_t sampledRegions = 0;
  const void* regions[kMostSampledRegions] = {};
};

// One more than the report's stages: the probe that times the meter itself.
constexpr uint32_t kStageProbe = kStageCount;
StageTotals gTotals[kStageCount + 1];

struct ThreadCounts {
  uint64_t regionQueries = 0;
  uint64_t hostCalls = 0;
  uint64_t hostTicks = 0;
  uint64_t queryTicks = 0;
  uint64_t systemCalls = 0;
  uint32_t stage = kStageNone;
};

// Each thread's counts, found through the system's thread-local slot: the compiler's thread_local
// goes through a lock-taking emulation here that would cost more than some stages.
constexpr uint32_t kCountedThreads = 64;
ThreadCounts gThreadCounts[kCountedThreads + 1];  // the last is shared by any further threads
std::atomic<uint32_t> gThreadsCounted{0};
const DWORD gCountsSlot = TlsAlloc();

ThreadCounts& Counts() {
  void* counts = TlsGetValue(gCountsSlot);
  if (counts == nullptr) {
    const uint32_t index = gThreadsCounted.fetch_add(1, std::memory_order_relaxed);
    counts = &gThreadCounts[index < kCountedThreads ? index : kCountedThreads];
    TlsSetValue(gCountsSlot, counts);
  }
  return *static_cast<ThreadCounts*>(counts);
}

struct ClockStart {
  uint64_t stamp;
  int64_t counter;
};
ClockStart StartClocks() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return ClockStart{__rdtsc(), counter.QuadPart};
}
const ClockStart gClockStart = StartClocks();

std::atomic<uint32_t> gRegionQueriesAll{0};

// The sampling windows, main thread only: a tick runs from the end of one capture to the end of
// the next; a frame from the start of its apply to the end of its restore.
uint64_t gCapturesEnded = 0;
uint64_t gFramesStarted = 0;
bool gSamplingTick = false;
bool gSamplingFrame = false;

void NoteSampledRegion(StageTotals& totals, const void* base) {
  ++totals.sampledQueries;
  for (uint32_t i = 0; i < totals.sampledRegions; ++i) {
    if (totals.regions[i] == base) return;
  }
  if (totals.sampledRegions < kMostSampledRegions) totals.regions[totals.sampledRegions++] = base;
}

#endif

}  // namespace

const MeasuredStageInfo& StageInfo(uint32_t stage) {
  static const MeasuredStageInfo kUnknown = {"unknown", kStageNone, kSideTick};
  return stage < kStageCount ? kStages[stage] : kUnknown;
}

#ifdef DRIFTGLASS_MEASURE

MeasuredStageTotals ReadStageTotals(uint32_t stage) {
  MeasuredStageTotals out;
  if (stage >= kStageCount) return out;
  const StageTotals& t = gTotals[stage];
  out.calls = t.calls.load();
  out.counterTicks = t.counterTicks.load();
  out.regionQueries = t.regionQueries.load();
  out.hostCalls = t.hostCalls.load();
  out.hostTicks = t.hostTicks.load();
  out.queryTicks = t.queryTicks.load();
  out.systemCalls = t.systemCalls.load();
  out.sampledQueries = t.sampledQueries;
  out.sampledRegions = t.sampledRegions;
  return out;
}

uint32_t MeasuredRegionQueries() { return gRegionQueriesAll.load(std::memory_order_relaxed); }

double MeasuredTicksPerSecond() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  const uint64_t stamp = __rdtsc();
  const double seconds = static_cast<double>(counter.QuadPart - gClockStart.counter) /
                         static_cast<double>(frequency.QuadPart);
  return seconds > 0 ? static_cast<double>(stamp - gClockStart.stamp) / seconds : 0.0;
}

uint32_t SampledRegionBases(const void** out, uint32_t capacity) {
  uint32_t count = 0;
  for (uint32_t stage = 0; stage < kStageCount; ++stage) {
    const StageTotals& t = gTotals[stage];
    for (uint32_t i = 0; i < t.sampledRegions && count < capacity; ++i) {
      bool known = t.regions[i] == nullptr;
      for (uint32_t j = 0; j < count && !known; ++j) known = out[j] == t.regions[i];
      if (!known) out[count++] = t.regions[i];
    }
  }
  return count;
}

MeterOverheads MeasureMeterOverheads(uint32_t rounds) {
  MeterOverheads out;
  if (rounds == 0) return out;
  StageTotals& probe = gTotals[kStageProbe];
  const uint64_t before = probe.counterTicks.load();
  for (uint32_t i = 0; i < rounds; ++i) StageScope empty(kStageProbe);
  out.stageTicks = static_cast<double>(probe.counterTicks.load() - before) / rounds;

  // Inside a stage, as in a run: whatever the loop takes beyond what the scopes record.
  StageScope stage(kStageProbe);
  ThreadCounts& counts = Counts();
  uint64_t recorded = counts.queryTicks;
  uint64_t start = __rdtsc();
  for (uint32_t i = 0; i < rounds; ++i) {
    { RegionQueryScope query; }
    NoteRegionQuery(nullptr);
  }
  out.queryTicks = static_cast<double>(__rdtsc() - start - (counts.queryTicks - recorded)) / rounds;
  recorded = counts.hostTicks;
  start = __rdtsc();
  for (uint32_t i = 0; i < rounds; ++i) HostCallScope call;
  out.hostCallTicks = static_cast<double>(__rdtsc() - start - (counts.hostTicks - recorded)) / rounds;
  return out;
}

StageScope::StageScope(uint32_t stage) : stage_(stage) {
  ThreadCounts& counts = Counts();
  outer_ = counts.stage;
  if (stage == kStageFrameApply && ++gFramesStarted == kSampledFrame) gSamplingFrame = true;
  counts.stage = stage;
  queries_ = counts.regionQueries;
  hostCalls_ = counts.hostCalls;
  hostTicks_ = counts.hostTicks;
  queryTicks_ = counts.queryTicks;
  systemCalls_ = counts.systemCalls;
  start_ = __rdtsc();
}

void StageScope::End() {
  if (ended_) return;
  ended_ = true;
  const uint64_t now = __rdtsc();
  ThreadCounts& counts = Counts();
  StageTotals& t = gTotals[stage_];
  t.calls.fetch_add(1, std::memory_order_relaxed);
  t.counterTicks.fetch_add(now - start_, std::memory_order_relaxed);
  t.regionQueries.fetch_add(counts.regionQueries - queries_, std::memory_order_relaxed);
  t.hostCalls.fetch_add(counts.hostCalls - hostCalls_, std::memory_order_relaxed);
  t.hostTicks.fetch_add(counts.hostTicks - hostTicks_, std::memory_order_relaxed);
  t.queryTicks.fetch_add(counts.queryTicks - queryTicks_, std::memory_order_relaxed);
  t.systemCalls.fetch_add(counts.systemCalls - systemCalls_, std::memory_order_relaxed);
  counts.stage = outer_;
  if (stage_ == kStageFrameRestore) gSamplingFrame = false;
  if (stage_ == kStageTickCapture) {
    ++gCapturesEnded;
    gSamplingTick = gCapturesEnded == kSampledTick;
  }
}

HostCallScope::HostCallScope() {
  ++Counts().hostCalls;
  start_ = __rdtsc();
}

HostCallScope::~HostCallScope() {
  const uint64_t now = __rdtsc();
  Counts().hostTicks += now - start_;
}

RegionQueryScope::RegionQueryScope() : start_(__rdtsc()) {}

RegionQueryScope::~RegionQueryScope() {
  const uint64_t now = __rdtsc();
  Counts().queryTicks += now - start_;
}

void CountSystemCall() { ++Counts().systemCalls; }

void NoteRegionQuery(const void* regionBase) {
  gRegionQueriesAll.fetch_add(1, std::memory_order_relaxed);
  ThreadCounts& counts = Counts();
  ++counts.regionQueries;
  const uint32_t stage = counts.stage;
  if (stage >= kStageCount) return;
  const uint32_t side = kStages[stage].side;
  if ((side == kSideTick && gSamplingTick) || (side == kSideFrame && gSamplingFrame)) {
    NoteSampledRegion(gTotals[stage], regionBase);
  }
}

#else

MeasuredStageTotals ReadStageTotals(uint32_t) { return {}; }
double MeasuredTicksPerSecond() { return 0.0; }
uint32_t SampledRegionBases(const void**, uint32_t) { return 0; }
MeterOverheads MeasureMeterOverheads(uint32_t) { return {}; }
uint32_t MeasuredRegionQueries() { return 0; }

#endif

}  // namespace driftglass
