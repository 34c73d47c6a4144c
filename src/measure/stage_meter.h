#pragma once
// What each stage of the plug-in costs, for the measurement build only: calls, time, memory-region
// queries, calls into the game's code (and the time spent in them) and the plug-in's own
// message-queue and cursor calls. The product is built without DRIFTGLASS_MEASURE, and every hook
// below compiles to nothing there.
//
// Time is read from the processor's time-stamp counter: under Wine the performance counter costs
// about 0.1 µs a reading, which at two readings per model-matrix query would be most of what the
// stage is meant to show.

#include <cstdint>

namespace driftglass {

// Stages in report order; a stage's parent is the stage whose time includes it.
enum MeasuredStage : uint32_t {
  kStageHandsUpdate = 0,
  kStagePropUpdate,
  kStageEnemyUpdate,
  kStageInputDetours,
  kStageTickCapture,
  kStageCameraCapture,
  kStageHandsCapture,
  kStageWorldCapture,
  kStageMovedBodies,
  kStageHandsPoseCapture,
  kStageEnemyPoseCapture,
  kStageDrawMessage,
  kStageFrameApply,
  kStageMousePoll,
  kStageSdlPump,
  kStageCameraApply,
  kStageHandsApply,
  kStageWorldApply,
  kStageHandsPoseApply,
  kStageEnemyPoseApply,
  kStageFrameRestore,
  kStageModelMatrix,
  kStageTransformCallback,
  kStageCount,
  kStageNone = kStageCount,
};

// When a stage runs: at a tick (the staging and the capture), at a frame, or on a physics thread.
enum MeasuredSide : uint32_t { kSideTick = 0, kSideFrame = 1, kSidePhysics = 2 };

struct MeasuredStageInfo {
  const char* name;
  uint32_t parent;  // kStageNone for a stage nothing else includes
  uint32_t side;
};
const MeasuredStageInfo& StageInfo(uint32_t stage);

// Totals since start-up, and for one sampled tick and one sampled frame how many distinct
// memory regions the stage's queries fell in.
struct MeasuredStageTotals {
  uint64_t calls = 0;
  uint64_t counterTicks = 0;  // time-stamp counter ticks
  uint64_t regionQueries = 0;
  uint64_t hostCalls = 0;
  uint64_t hostTicks = 0;   // of counterTicks, inside calls into the game
  uint64_t queryTicks = 0;  // of counterTicks, inside memory-region queries
  uint64_t systemCalls = 0;
  uint32_t sampledQueries = 0;
  uint32_t sampledRegions = 0;
};
MeasuredStageTotals ReadStageTotals(uint32_t stage);

// Time-stamp counter ticks per second, timed against the performance counter since start-up.
double MeasuredTicksPerSecond();

// How many region queries the plug-in's guarded checks have made in this process, on any thread.
uint32_t MeasuredRegionQueries();

// The base of every region the sampled tick's and frame's queries fell in, for a calibration that
// queries the same kinds of addresses; returns how many were written.
uint32_t SampledRegionBases(const void** out, uint32_t capacity);

// What the meter itself adds, in counter ticks: to each call of a stage (what an empty stage
// records), and to each region query and each call into the game outside the time it records
// for them (its bookkeeping, which the stage around them counts as its own).
struct MeterOverheads {
  double stageTicks = 0;
  double queryTicks = 0;
  double hostCallTicks = 0;
};
MeterOverheads MeasureMeterOverheads(uint32_t rounds);

#ifdef DRIFTGLASS_MEASURE

class StageScope {
 public:
  explicit StageScope(uint32_t stage);
  ~StageScope() { End(); }
  // Ends the stage before the scope does (once; later calls do nothing).
  void End();
  StageScope(const StageScope&) = delete;
  StageScope& operator=(const StageScope&) = delete;

 private:
  uint32_t stage_;
  uint32_t outer_;
  bool ended_ = false;
  uint64_t start_;
  uint64_t queries_;
  uint64_t hostCalls_;
  uint64_t hostTicks_;
  uint64_t queryTicks_;
  uint64_t systemCalls_;
};

// Counts one call into the game's code and the time until the scope ends.
class HostCallScope {
 public:
  HostCallScope();
  ~HostCallScope();
  HostCallScope(const HostCallScope&) = delete;
  HostCallScope& operator=(const HostCallScope&) = delete;

 private:
  uint64_t start_;
};

// The time of one memory-region query, around the system call alone (NoteRegionQuery counts it).
class RegionQueryScope {
 public:
  RegionQueryScope();
  ~RegionQueryScope();
  RegionQueryScope(const RegionQueryScope&) = delete;
  RegionQueryScope& operator=(const RegionQueryScope&) = delete;

 private:
  uint64_t start_;
};

void CountSystemCall();
// Called by every region query with the region it found (or null).
void NoteRegionQuery(const void* regionBase);

#else

class StageScope {
 public:
  explicit StageScope(uint32_t) {}
  void End() {}
};
class HostCallScope {
 public:
  HostCallScope() {}
};
class RegionQueryScope {
 public:
  RegionQueryScope() {}
};
inline void CountSystemCall() {}
inline void NoteRegionQuery(const void*) {}

#endif

}  // namespace driftglass
