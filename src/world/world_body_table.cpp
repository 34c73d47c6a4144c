#include "world/world_body_table.h"

namespace driftglass {
namespace {

WorldPairKey KeyOf(const WorldBodyEntry& entry) { return {entry.owner, entry.body}; }

bool SameIdentity(const WorldBodyEntry& entry, const WorldBodyStaging& staging) {
  return entry.mesh == staging.mesh && entry.body == staging.body &&
         entry.meshWord == staging.meshWord && entry.ownerWord == staging.ownerWord &&
         entry.kind == staging.kind;
}

}  // namespace

void RestartBodyHistory(WorldBodyEntry& entry) {
  entry.history.ClearHistory();
  entry.hasLastMatrix = false;
  entry.hasLastInverse = false;
  entry.moving = false;
  entry.lastCapturedTick = 0;
}

void WorldBodyTable::Clear() {
  for (WorldBodyEntry& entry : entries_) entry = WorldBodyEntry{};
  index_.Clear();
  bodyIndex_.Clear();
}

uint32_t WorldBodyTable::Position(const WorldPairKey& key) const {
  return index_.Find(key, [this](uint32_t p) { return KeyOf(entries_[p]); });
}

WorldBodyEntry* WorldBodyTable::Find(const void* owner, const void* body) {
  const uint32_t position = Position({owner, body});
  return position == kWorldIndexNotFound ? nullptr : &entries_[position];
}

WorldBodyEntry* WorldBodyTable::FindByBody(const void* body) {
  const uint32_t owned = bodyIndex_.Find(body, [this](uint32_t p) { return entries_[p].body; });
  if (owned != kWorldIndexNotFound) return &entries_[owned];
  WorldBodyEntry* standalone = Find(body, body);
  return standalone != nullptr && standalone->kind == kWorldBodyStandalone ? standalone : nullptr;
}

WorldBodyEntry* WorldBodyTable::Stage(const WorldBodyStaging& staging, uint64_t tick,
                                      uint16_t* previousBodyCount) {
  const WorldPairKey key{staging.owner, staging.body};
  WorldBodyEntry* entry = Find(staging.owner, staging.body);
  if (previousBodyCount != nullptr) *previousBodyCount = entry != nullptr ? entry->bodyCount : 0;
  bool evicted = false;
  const bool added = entry == nullptr;
  if (added) {
    // A body gets a standalone entry only while no owner tracks it, so only a new owned entry
    // can find one to replace: a known entry costs its one lookup.
    if (staging.kind != kWorldBodyStandalone) DropStandalone(staging.body);
    entry = Take(key, tick, evicted);
    if (entry == nullptr) return nullptr;
  } else if (!SameIdentity(*entry, staging)) {
    RestartBodyHistory(*entry);
  }
  entry->mesh = staging.mesh;
  entry->meshWord = staging.meshWord;
  entry->ownerWord = staging.ownerWord;
  entry->kind = staging.kind;
  entry->justFellAsleep = staging.kind == kWorldBodyProp && !staging.awake && entry->awake;
  entry->awake = staging.awake;
  entry->bodyCount = staging.bodyCount;
  entry->stagedTick = tick;
  entry->staged = true;
  const auto bodyAt = [this](uint32_t p) { return entries_[p].body; };
  if (evicted) {
    // Only a full table evicts; the evicted entry may have stood for its body.
    RebuildBodyIndex();
  } else if (added && staging.kind != kWorldBodyStandalone &&
             bodyIndex_.Find(staging.body, bodyAt) == kWorldIndexNotFound) {
    bodyIndex_.Insert(staging.body, static_cast<uint32_t>(entry - entries_));
  }
  return entry;
}

// A free entry, else the unstaged one staged longest ago. The evicted entry changes key, so its
// index slot moves with it.
WorldBodyEntry* WorldBodyTable::Take(const WorldPairKey& key, uint64_t tick, bool& evicted) {
  WorldBodyEntry* victim = nullptr;
  for (WorldBodyEntry& entry : entries_) {
    if (!entry.inUse) {
      victim = &entry;
      break;
    }
    if (!entry.staged && (victim == nullptr || entry.stagedTick < victim->stagedTick)) {
      victim = &entry;
    }
  }
  if (victim == nullptr || (victim->inUse && victim->stagedTick == tick)) return nullptr;
  evicted = victim->inUse;
  if (evicted) {
    index_.Erase(KeyOf(*victim), [this](uint32_t p) { return KeyOf(entries_[p]); });
  }
  *victim = WorldBodyEntry{};
  victim->owner = const_cast<void*>(key.owner);
  victim->body = const_cast<void*>(key.body);
  victim->inUse = true;
  index_.Insert(key, static_cast<uint32_t>(victim - entries_));
  return victim;
}

void WorldBodyTable::DropStandalone(const void* body) {
  WorldBodyEntry* entry = Find(body, body);
  if (entry == nullptr || entry->kind != kWorldBodyStandalone) return;
  *entry = WorldBodyEntry{};
  RebuildIndex();
}

uint32_t WorldBodyTable::DropOwner(const void* owner) {
  uint32_t dropped = 0;
  for (WorldBodyEntry& entry : entries_) {
    if (entry.inUse && entry.owner == owner) {
      entry = WorldBodyEntry{};
      ++dropped;
    }
  }
  if (dropped != 0) RebuildIndex();
  return dropped;
}

uint32_t WorldBodyTable::DropUnstaged(const void* owner, uint64_t tick) {
  uint32_t dropped = 0;
  for (WorldBodyEntry& entry : entries_) {
    if (entry.inUse && entry.owner == owner && entry.stagedTick != tick) {
      entry = WorldBodyEntry{};
      ++dropped;
    }
  }
  if (dropped != 0) RebuildIndex();
  return dropped;
}

uint32_t WorldBodyTable::InUse() const {
  uint32_t count = 0;
  for (const WorldBodyEntry& entry : entries_) count += entry.inUse ? 1 : 0;
  return count;
}

void WorldBodyTable::RebuildIndex() {
  index_.Rebuild(kCapacity, [this](uint32_t p, WorldPairKey& key) {
    key = KeyOf(entries_[p]);
    return entries_[p].inUse;
  });
  RebuildBodyIndex();
}

// The first owned entry of each body, in table order.
void WorldBodyTable::RebuildBodyIndex() {
  bodyIndex_.Clear();
  const auto bodyAt = [this](uint32_t p) { return entries_[p].body; };
  for (uint32_t p = 0; p < kCapacity; ++p) {
    const WorldBodyEntry& entry = entries_[p];
    if (entry.inUse && entry.kind != kWorldBodyStandalone &&
        bodyIndex_.Find(entry.body, bodyAt) == kWorldIndexNotFound) {
      bodyIndex_.Insert(entry.body, p);
    }
  }
}

}  // namespace driftglass
