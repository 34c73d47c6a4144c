#pragma once
// Maps a pointer, or an owner/body pointer pair, to a position in a fixed table of at most 512
// entries. The index stores positions only and asks the table for a position's key, so one index
// serves every table. Linear probing; a slot holds position + 1, 0 when empty.
//
// Twice as many slots as entries would leave a full table at half load, where even a perfect
// spread averages 1.5 probes per hit and runs of twenty: a quarter load keeps hits near one probe
// whatever the addresses.

#include <cstdint>

namespace driftglass {

constexpr uint32_t kWorldIndexSlots = 2048;
constexpr uint32_t kWorldIndexNotFound = 0xFFFFFFFFu;

struct WorldPairKey {
  const void* owner = nullptr;
  const void* body = nullptr;
  bool operator==(const WorldPairKey&) const = default;
};

// A 32-bit finaliser: each input bit flips about half the output bits, so address patterns with
// a common stride (a page, a power of two, an allocator's size classes) cannot line up in the
// low bits a slot takes. Two multiplies: far cheaper than the probes a clustered index costs.
inline uint32_t MixWorldKey(uint32_t x) {
  x ^= x >> 16;
  x *= 0x85EBCA6Bu;
  x ^= x >> 13;
  x *= 0xC2B2AE35u;
  x ^= x >> 16;
  return x;
}

inline uint32_t WorldKeyBits(const void* p) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// The home slot of a key. Every bit of the address takes part, so objects a page or 64 KiB apart,
// or wherever an allocator put them, spread over the whole index.
inline uint32_t WorldIndexHome(const void* key) {
  return MixWorldKey(WorldKeyBits(key)) & (kWorldIndexSlots - 1);
}

// The body is scrambled before it meets the owner, so a standalone body (its own owner) and pairs
// that differ only by swapped roles get homes of their own.
inline uint32_t WorldIndexHome(const WorldPairKey& key) {
  return MixWorldKey(WorldKeyBits(key.owner) ^ (WorldKeyBits(key.body) * 0x9E3779B1u)) &
         (kWorldIndexSlots - 1);
}

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
    return InsertSlot(key, position) != kWorldIndexNotFound;
  }

  // The slot the position went into, for a table that empties the index by its own entries;
  // kWorldIndexNotFound when every slot is taken.
  uint32_t InsertSlot(const Key& key, uint32_t position) {
    uint32_t slot = WorldIndexHome(key);
    for (uint32_t probe = 0; probe < kWorldIndexSlots; ++probe) {
      if (slots_[slot] == 0) {
        slots_[slot] = position + 1;
        return slot;
      }
      slot = Next(slot);
    }
    return kWorldIndexNotFound;
  }

  // Empties one slot that InsertSlot returned. A table that never erases empties the whole index
  // this way, entry by entry: a frame fills a few of the 2048 slots.
  void ClearSlot(uint32_t slot) { slots_[slot & kMask] = 0; }

  // How many slots a lookup of the key inspects (its own included); 0 when it is not indexed.
  template <typename KeyAt>
  uint32_t ProbeLength(const Key& key, KeyAt keyAt) const {
    const uint32_t slot = FindSlot(key, keyAt);
    return slot == kWorldIndexNotFound ? 0 : ((slot - WorldIndexHome(key)) & kMask) + 1;
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
