#pragma once
// Maps a pointer, or an owner/body pointer pair, to a position in a fixed table of at most 1024
// entries. The index stores positions only and asks the table for a position's key, so one index
// serves every table. Linear probing; a slot holds position + 1, 0 when empty.

#include <cstdint>

namespace driftglass {

constexpr uint32_t kWorldIndexSlots = 1024;
constexpr uint32_t kWorldIndexNotFound = 0xFFFFFFFFu;

struct WorldPairKey {
  const void* owner = nullptr;
  const void* body = nullptr;
  bool operator==(const WorldPairKey&) const = default;
};

// The home slot of a key; the host's pointers are 16-byte aligned, hence the shifts.
uint32_t WorldIndexHome(const void* key);
uint32_t WorldIndexHome(const WorldPairKey& key);

template <typename Key>
class WorldIndex {
 public:
  void Clear() {
    for (uint32_t& slot : slots_) slot = 0;
  }

  // keyAt(position) returns the key of an indexed position.
  template <typename KeyAt>
  uint32_t Find(const Key& key, KeyAt keyAt) const {
    const uint32_t slot = FindSlot(key, keyAt);
    return slot == kWorldIndexNotFound ? kWorldIndexNotFound : slots_[slot] - 1;
  }

  // False when every slot is taken.
  bool Insert(const Key& key, uint32_t position) {
    uint32_t slot = WorldIndexHome(key);
    for (uint32_t probe = 0; probe < kWorldIndexSlots; ++probe) {
      if (slots_[slot] == 0) {
        slots_[slot] = position + 1;
        return true;
      }
      slot = Next(slot);
    }
    return false;
  }

  // Empties the key's slot and pulls later members of its probe run back, so that every key
  // stays reachable from its home without tombstones.
  template <typename KeyAt>
  bool Erase(const Key& key, KeyAt keyAt) {
    uint32_t hole = FindSlot(key, keyAt);
    if (hole == kWorldIndexNotFound) return false;
    uint32_t next = hole;
    for (uint32_t probe = 1; probe < kWorldIndexSlots; ++probe) {
      next = Next(next);
      const uint32_t value = slots_[next];
      if (value == 0) break;
      const uint32_t home = WorldIndexHome(keyAt(value - 1));
      // A member whose home lies after the hole (cyclically) must stay where it is.
      if (((next - home) & kMask) >= ((next - hole) & kMask)) {
        slots_[hole] = value;
        hole = next;
      }
    }
    slots_[hole] = 0;
    return true;
  }

  // indexed(position, key) says whether a position belongs in the index and sets its key.
  template <typename Indexed>
  void Rebuild(uint32_t positions, Indexed indexed) {
    Clear();
    for (uint32_t position = 0; position < positions; ++position) {
      Key key{};
      if (indexed(position, key)) Insert(key, position);
    }
  }

  uint32_t slot(uint32_t i) const { return slots_[i & kMask]; }
  uint32_t Occupied() const {
    uint32_t count = 0;
    for (uint32_t slot : slots_) count += slot != 0 ? 1 : 0;
    return count;
  }

 private:
  static constexpr uint32_t kMask = kWorldIndexSlots - 1;
  static uint32_t Next(uint32_t slot) { return (slot + 1) & kMask; }

  template <typename KeyAt>
  uint32_t FindSlot(const Key& key, KeyAt keyAt) const {
    uint32_t slot = WorldIndexHome(key);
    for (uint32_t probe = 0; probe < kWorldIndexSlots; ++probe) {
      const uint32_t value = slots_[slot];
      if (value == 0) return kWorldIndexNotFound;
      if (keyAt(value - 1) == key) return slot;
      slot = Next(slot);
    }
    return kWorldIndexNotFound;
  }

  uint32_t slots_[kWorldIndexSlots] = {};
};

}  // namespace driftglass
