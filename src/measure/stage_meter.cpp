#include "measure/stage_meter.h"

#ifdef DRIFTGLASS_MEASURE
#include <windows.h>

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
  std::atomic<uint64_t> systemCalls{0};
  // Written by the main thread during the sampled tick or frame only.
  uint32_t sampledQueries = 0;
  uint32_t sampledRegions = 0;
  const void* regions[kMostSampledRegions] = {};
};

StageTotals gTotals[kStageCount];

struct ThreadCounts {
  uint64_t regionQueries = 0;
  uint64_t hostCalls = 0;
  uint64_t systemCalls = 0;
  uint32_t stage = kStageNone;
};
thread_local ThreadCounts tCounts;

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
  out.systemCalls = t.systemCalls.load();
  out.sampledQueries = t.sampledQueries;
  out.sampledRegions = t.sampledRegions;
  return out;
}

StageScope::StageScope(uint32_t stage) : stage_(stage), outer_(tCounts.stage) {
  if (stage == kStageFrameApply && ++gFramesStarted == kSampledFrame) gSamplingFrame = true;
  tCounts.stage = stage;
  queries_ = tCounts.regionQueries;
  hostCalls_ = tCounts.hostCalls;
  systemCalls_ = tCounts.systemCalls;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  start_ = now.QuadPart;
}

void StageScope::End() {
  if (ended_) return;
  ended_ = true;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  StageTotals& t = gTotals[stage_];
  t.calls.fetch_add(1, std::memory_order_relaxed);
  t.counterTicks.fetch_add(static_cast<uint64_t>(now.QuadPart - start_), std::memory_order_relaxed);
  t.regionQueries.fetch_add(tCounts.regionQueries - queries_, std::memory_order_relaxed);
  t.hostCalls.fetch_add(tCounts.hostCalls - hostCalls_, std::memory_order_relaxed);
  t.systemCalls.fetch_add(tCounts.systemCalls - systemCalls_, std::memory_order_relaxed);
  tCounts.stage = outer_;
  if (stage_ == kStageFrameRestore) gSamplingFrame = false;
  if (stage_ == kStageTickCapture) {
    ++gCapturesEnded;
    gSamplingTick = gCapturesEnded == kSampledTick;
  }
}

void CountHostCall() { ++tCounts.hostCalls; }
void CountSystemCall() { ++tCounts.systemCalls; }

void NoteRegionQuery(const void* regionBase) {
  ++tCounts.regionQueries;
  const uint32_t stage = tCounts.stage;
  if (stage >= kStageCount) return;
  const uint32_t side = kStages[stage].side;
  if ((side == kSideTick && gSamplingTick) || (side == kSideFrame && gSamplingFrame)) {
    NoteSampledRegion(gTotals[stage], regionBase);
  }
}

#else

MeasuredStageTotals ReadStageTotals(uint32_t) { return {}; }

#endif

}  // namespace driftglass
