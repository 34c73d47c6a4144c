#pragma once
// The tracked bodies of props, Grunts and unowned physics bodies, one entry per (owner, body),
// in a fixed table with its index. An entry's history holds the body's completed ticks; the
// correction and applied flag belong to the render side, which reads this table each frame.

#include <cstdint>
#include <span>

#include "shared/rigid_transform.h"
#include "timing/snapshot_history.h"
#include "world/world_index.h"

namespace driftglass {

enum WorldBodyKind : uint32_t {
  kWorldBodyProp = 0,
  kWorldBodyGrunt = 1,
  kWorldBodyStandalone = 2,
};

// Aligned so that what every pass over the table reads first lies in one cache line: a frame
// walks all 512 entries more than once and most of each entry is history it need not touch.
struct alignas(64) WorldBodyEntry {
  void* owner = nullptr;  // prop, enemy, or the body itself
  void* mesh = nullptr;   // none for standalone bodies
  void* body = nullptr;   // the physics body; a Grunt's mesh entity
  uint32_t kind = kWorldBodyProp;
  bool inUse = false;
  bool staged = false;
  bool hasLastMatrix = false;
  bool hasLastInverse = false;
  bool moving = false;
  bool appliedThisFrame = false;
  bool awake = false;
  bool justFellAsleep = false;
  uint16_t bodyCount = 0;
  uint32_t meshWord = 0;
  uint32_t ownerWord = 0;
  uint64_t stagedTick = 0;
  uint64_t lastCapturedTick = 0;  // 0 = none
  RigidTransformHistory history;
  RigidTransform lastMatrix = {};
  Quaternion lastRotation;          // of lastMatrix, for the next tick's jump test
  RigidTransform lastInverse = {};  // of lastMatrix, worked out once per tick for the frames
  RigidTransform correction = {};
};

// What one staging says about a body.
struct WorldBodyStaging {
  void* owner = nullptr;
  void* mesh = nullptr;
  void* body = nullptr;
  uint32_t meshWord = 0;
  uint32_t ownerWord = 0;
  uint32_t kind = kWorldBodyProp;
  bool awake = true;
  uint16_t bodyCount = 1;
};

// Empties the history and what was learnt from it, so the body shows its engine state until
// two clean ticks exist again.
void RestartBodyHistory(WorldBodyEntry& entry);

class WorldBodyTable {
 public:
  static constexpr uint32_t kCapacity = 512;

  void Clear();
  // Finds or takes the (owner, body) entry and stamps it staged at tick; nullptr when the table
  // is full of entries staged this tick. previousBodyCount: the entry's body count before this
  // staging, 0 for a new entry.
  WorldBodyEntry* Stage(const WorldBodyStaging& staging, uint64_t tick,
                        uint16_t* previousBodyCount = nullptr);
  WorldBodyEntry* Find(const void* owner, const void* body);
  // An owned entry of the body if any, else its standalone entry.
  WorldBodyEntry* FindByBody(const void* body);
  // Drop every entry of owner, or those not staged at tick; return how many were dropped.
  uint32_t DropOwner(const void* owner);
  uint32_t DropUnstaged(const void* owner, uint64_t tick);

  std::span<WorldBodyEntry> entries() { return entries_; }
  std::span<const WorldBodyEntry> entries() const { return entries_; }
  uint32_t InUse() const;

  const WorldIndex<WorldPairKey>& index() const { return index_; }

 private:
  WorldBodyEntry* Take(const WorldPairKey& key, uint64_t tick, bool& evicted);
  void DropStandalone(const void* body);
  uint32_t Position(const WorldPairKey& key) const;
  void RebuildIndex();
  void RebuildBodyIndex();

  WorldBodyEntry entries_[kCapacity];
  WorldIndex<WorldPairKey> index_;
  // Body -> an owned (prop or Grunt) entry of it, for the moved bodies, which name no owner.
  WorldIndex<const void*> bodyIndex_;
};

}  // namespace driftglass
