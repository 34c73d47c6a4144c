// The tick's capture: moved bodies first (they may stage entries), then one pass over the table
// for every staged entry's matrix and the sub-mesh histories of multi-body props.

#include <cstring>

#include "host/guarded_memory.h"
#include "measure/stage_meter.h"
#include "shared/entity_layout.h"
#include "world/moving_transform_append.h"
#include "world/world_host_layout.h"
#include "world/world_root_tracker.h"

namespace driftglass {
namespace {

// A body that travels farther or turns more than this in one tick was placed, not moved.
constexpr float kJumpDistanceSquared = 0.5625f;  // 0.75 units

// Rotations as QuaternionFromMatrix gives them, worked out once per captured matrix.
bool IsWorldJump(const RigidTransform& last, const Quaternion& lastRotation,
                 const RigidTransform& next, const Quaternion& nextRotation) {
  const float dx = next.m[3] - last.m[3];
  const float dy = next.m[7] - last.m[7];
  const float dz = next.m[11] - last.m[11];
  return dx * dx + dy * dy + dz * dz > kJumpDistanceSquared ||
         QuaternionAlignment(lastRotation, nextRotation) < kWorldJumpAlignment;
}

// The active flag, identity word and range of a body no prop owns, from one copy of its record.
bool IsStandaloneBody(const void* body, uint32_t& identityWord) {
  uint8_t record[kStandaloneRange + sizeof(uint32_t) - kStandaloneActive];
  if (!ReadHostValue(body, kStandaloneActive, record)) return false;
  const auto at = [&record](uintptr_t offset) { return record + (offset - kStandaloneActive); };
  uint32_t range = 0;
  memcpy(&range, at(kStandaloneRange), sizeof(range));
  if (*at(kStandaloneActive) != 1 || range < 1 || range > kStandaloneRangeMax) return false;
  memcpy(&identityWord, at(kStandaloneIdentityWord), sizeof(identityWord));
  return true;
}

// The entity's world matrix, through the host call, when the entity and the matrix are sound.
bool ReadWorldMatrix(uintptr_t getWorldMatrix, void* entity, RigidTransform& out) {
  if (getWorldMatrix == 0 || !IsRangeReadable(entity, sizeof(void*))) return false;
  return ReadRigidTransform(CallGetWorldMatrix(getWorldMatrix, entity), out);
}

}  // namespace

WorldCaptureCounts WorldRootTracker::Capture(uint64_t tick, uint64_t generation) {
  WorldCaptureCounts counts;
  CaptureMovedBodies(tick, counts);
  // One pass: each entry's matrix, then the sub-meshes of its mesh if it is the first multi-body
  // prop of that mesh this tick.
  tickMeshIndex_.Clear();
  uint32_t meshCount = 0;
  for (WorldBodyEntry& entry : bodies_.entries()) {
    entry.appliedThisFrame = false;
    if (!entry.inUse) continue;
    if (entry.staged) CaptureEntry(entry, tick, generation, counts);
    if (entry.kind == kWorldBodyProp && entry.stagedTick == tick && entry.bodyCount >= 2 &&
        entry.mesh != nullptr) {
      CaptureModelMesh(entry.mesh, tick, generation, meshCount, counts);
    }
  }
  return counts;
}

void WorldRootTracker::CaptureMovedBodies(uint64_t tick, WorldCaptureCounts& counts) {
  StageScope stage(kStageMovedBodies);
  const MovedBodyDrain drain = moved_.Drain(drained_);
  counts.moved = drain.moved;
  counts.movedOverflow = drain.overflow;
  counts.movedSkipped = drain.skipped;
  for (uint32_t i = 0; i < drain.received; ++i) {
    void* const body = drained_[i];
    WorldBodyEntry* entry = bodies_.FindByBody(body);
    if (entry == nullptr || entry->kind == kWorldBodyStandalone) {
      uint32_t identityWord = 0;
      if (!IsStandaloneBody(body, identityWord)) continue;
      const WorldBodyStaging staging{body, nullptr, body, 0, identityWord,
                                     kWorldBodyStandalone, true, 1};
      entry = bodies_.Stage(staging, tick);
      if (entry == nullptr) continue;
    }
    entry->stagedTick = tick;
    entry->staged = true;
    entry->awake = true;
    entry->justFellAsleep = false;
    if (entry->kind == kWorldBodyStandalone) {
      ++counts.movedStandalone;
    } else {
      // The prop's bodies are no longer all asleep: its next update stages it in full.
      if (entry->kind == kWorldBodyProp) sleep_.Wake(entry->owner);
      ++counts.movedMatched;
    }
  }
}

void WorldRootTracker::CaptureEntry(WorldBodyEntry& entry, uint64_t tick, uint64_t generation,
                                    WorldCaptureCounts& counts) {
  entry.staged = false;
  if (entry.stagedTick != tick) {
    // Staged for a tick that was never captured: nothing joins it to this one.
    RestartBodyHistory(entry);
    ++counts.resets;
    return;
  }
  if (entry.kind == kWorldBodyProp && !entry.awake && !entry.justFellAsleep) {
    entry.moving = false;
    ++counts.sleeping;
    return;
  }
  // A body that just fell asleep is captured once more, at rest.
  entry.justFellAsleep = false;
  // Read, tested and converted once; the history and the inverse take it as it is.
  RigidTransform matrix;
  if (!ReadWorldMatrix(getWorldMatrix_, entry.body, matrix)) {
    RestartBodyHistory(entry);
    ++counts.invalid;
    return;
  }
  const Quaternion rotation = QuaternionFromMatrix(matrix.m);
  const bool gap = entry.lastCapturedTick != 0 && entry.lastCapturedTick != tick - 1;
  const bool restarted =
      gap || (entry.hasLastMatrix && IsWorldJump(entry.lastMatrix, entry.lastRotation, matrix, rotation));
  if (restarted) entry.history.ClearHistory();
  const bool moved = entry.hasLastMatrix && !SameRigidTransform(matrix, entry.lastMatrix);
  switch (entry.history.AppendValidSnapshot(tick, generation, matrix, rotation)) {
    case kAppendAppended:
    case kAppendUnchanged: ++counts.captured; break;
    // After a restart the fresh history answers "generation": one restart, counted once.
    case kAppendGeneration: counts.resets += restarted ? 0 : 1; break;
    default: ++counts.resets; break;
  }
  if (restarted) ++counts.resets;
  entry.lastMatrix = matrix;
  entry.lastRotation = rotation;
  entry.hasLastMatrix = true;
  entry.hasLastInverse = InvertValidRigidTransform(matrix, entry.lastInverse);
  entry.moving = moved;
  entry.lastCapturedTick = tick;
}

void WorldRootTracker::CaptureModelMesh(const void* mesh, uint64_t tick, uint64_t generation,
                                        uint32_t& meshCount, WorldCaptureCounts& counts) {
  // Past the tick's capacity, the first mesh left out is counted and the rest are not looked at.
  if (meshCount > kMaxModelMeshesPerTick) return;
  const auto meshAt = [this](uint32_t p) { return tickMeshes_[p]; };
  if (tickMeshIndex_.Find(mesh, meshAt) != kWorldIndexNotFound) return;
  if (meshCount == kMaxModelMeshesPerTick) {
    ++counts.modelCapacity;
    ++meshCount;
    return;
  }
  tickMeshes_[meshCount] = mesh;
  tickMeshIndex_.Insert(mesh, meshCount++);
  CaptureSubMeshes(mesh, tick, generation, counts);
}

void WorldRootTracker::CaptureSubMeshes(const void* mesh, uint64_t tick, uint64_t generation,
                                        WorldCaptureCounts& counts) {
  void* subMeshes[kMeshMaxSubMeshes];
  uint32_t count = 0;
  if (!ReadHostPointerArray(mesh, kMeshSubMeshes, kMeshMaxSubMeshes, subMeshes, count)) {
    ++counts.modelInvalid;
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    ++counts.modelCandidates;
    RigidTransform matrix;
    if (!ReadWorldMatrix(getWorldMatrix_, subMeshes[i], matrix)) {
      ++counts.modelInvalid;
      continue;
    }
    ModelHistory* history = models_.Take(subMeshes[i], mesh, tick);
    if (history == nullptr) {
      ++counts.modelCapacity;
      continue;
    }
    history->lastCapturedTick = tick;
    if (AppendMovingTransform(history->history, tick, generation, matrix) != kAppendInvalid) {
      ++counts.modelCaptured;
    } else {
      ++counts.modelInvalid;
    }
  }
}

}  // namespace driftglass
