#include "world/world_sleep_cache.h"

namespace driftglass {

void WorldSleepCache::Clear() {
  for (SleepCacheEntry& entry : entries_) entry = SleepCacheEntry{};
  index_.Clear();
}

uint32_t WorldSleepCache::Position(const void* prop) const {
  return index_.Find(prop, [this](uint32_t p) { return entries_[p].prop; });
}

const SleepCacheEntry* WorldSleepCache::Find(const void* prop) const {
  const uint32_t position = Position(prop);
  return position == kWorldIndexNotFound ? nullptr : &entries_[position];
}

const SleepCacheEntry* WorldSleepCache::Resting(const void* prop, uint64_t tick) const {
  const SleepCacheEntry* entry = Find(prop);
  if (entry == nullptr || !entry->allAsleep || entry->multiBody) return nullptr;
  return tick < entry->nextCheckTick ? entry : nullptr;
}

void WorldSleepCache::Record(const void* prop, uint32_t ownerWord, uint64_t tick,
                             bool allAsleep, bool multiBody) {
  const uint32_t position = Position(prop);
  SleepCacheEntry* entry = position == kWorldIndexNotFound ? Take(prop) : &entries_[position];
  if (entry == nullptr) return;
  // Another object at the same address keeps nothing of the old one's schedule.
  const bool scheduled = entry->ownerWord == ownerWord && entry->allAsleep &&
                         entry->nextCheckTick != 0;
  entry->ownerWord = ownerWord;
  entry->lastStagedTick = tick;
  entry->allAsleep = allAsleep;
  entry->multiBody = multiBody;
  if (!allAsleep) {
    entry->nextCheckTick = 0;
  } else if (scheduled) {
    while (entry->nextCheckTick <= tick) entry->nextCheckTick += kCheckInterval;
  } else {
    const auto p = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(prop));
    const uint32_t h = (p >> 20) ^ (p >> 4);
    entry->nextCheckTick = tick + kFirstCheckDelay + h % kCheckInterval;
  }
}

// A free entry, else the one staged longest ago, moved in the index to its new key.
SleepCacheEntry* WorldSleepCache::Take(const void* prop) {
  SleepCacheEntry* victim = nullptr;
  for (SleepCacheEntry& entry : entries_) {
    if (!entry.inUse) {
      victim = &entry;
      break;
    }
    if (victim == nullptr || entry.lastStagedTick < victim->lastStagedTick) victim = &entry;
  }
  if (victim->inUse) index_.Erase(victim->prop, [this](uint32_t p) { return entries_[p].prop; });
  *victim = SleepCacheEntry{};
  victim->prop = prop;
  victim->inUse = true;
  index_.Insert(prop, static_cast<uint32_t>(victim - entries_));
  return victim;
}

void WorldSleepCache::Wake(const void* prop) {
  const uint32_t position = Position(prop);
  if (position != kWorldIndexNotFound) entries_[position].allAsleep = false;
}

void WorldSleepCache::Forget(const void* prop) {
  const uint32_t position = Position(prop);
  if (position == kWorldIndexNotFound) return;
  entries_[position] = SleepCacheEntry{};
  index_.Rebuild(kCapacity, [this](uint32_t p, const void*& key) {
    key = entries_[p].prop;
    return entries_[p].inUse;
  });
}

}  // namespace driftglass
