#pragma once
// Props whose bodies all sleep are staged in full only now and then; in between, one lookup
// here answers for them. Spreading the checks by a hash of the prop keeps many resting props
// from all waking the staging on the same tick.

#include <cstdint>
#include <span>

#include "world/world_index.h"

namespace driftglass {

struct SleepCacheEntry {
  const void* prop = nullptr;
  uint32_t ownerWord = 0;
  uint64_t lastStagedTick = 0;
  uint64_t nextCheckTick = 0;  // 0 = none
  bool inUse = false;
  bool allAsleep = false;
  bool multiBody = false;
};

class WorldSleepCache {
 public:
  static constexpr uint32_t kCapacity = 512;
  static constexpr uint64_t kFirstCheckDelay = 30;
  static constexpr uint64_t kCheckInterval = 60;

  void Clear();
  // The prop's entry when its one body slept at its last staging and its check is not due
  // at tick; the caller still compares the identity word.
  const SleepCacheEntry* Resting(const void* prop, uint64_t tick) const;
  // Notes a full staging at tick and schedules the next check for a prop that sleeps.
  void Record(const void* prop, uint32_t ownerWord, uint64_t tick, bool allAsleep,
              bool multiBody);
  // A body of the prop moved: its next staging must be a full one.
  void Wake(const void* prop);
  void Forget(const void* prop);

  const SleepCacheEntry* Find(const void* prop) const;
  std::span<const SleepCacheEntry> entries() const { return entries_; }

  const WorldIndex<const void*>& index() const { return index_; }

 private:
  SleepCacheEntry* Take(const void* prop);
  uint32_t Position(const void* prop) const;

  SleepCacheEntry entries_[kCapacity];
  WorldIndex<const void*> index_;
};

}  // namespace driftglass
