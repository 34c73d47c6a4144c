#pragma once
// A digest of the game's logic after a fixed step, in parts: what a step computed and the next
// step reads, never what only a render sees (drawn matrices, the frame cap, frame counters). Two
// runs given the same input at the same ticks must give the same digests tick for tick; a part
// that differs says where the game played differently. Each part hashes its own bytes (FNV-1a,
// 64 bits), bit for bit: a float that differs in its last bit differs. Every field is added under
// a name, and the names seen over a run are kept, so the run can say which fields each part
// covers (docs/simulated-game.md lists them).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum LogicPart : uint32_t {
  kLogicBodies,
  kLogicEntities,
  kLogicEnemies,
  kLogicPoses,
  kLogicWorldState,
  kLogicCamera,
  kLogicHands,
  kLogicParticles,
  kLogicInput,
  kLogicAngles,  // the player's look: everything else is the world
  kLogicPartCount,
};

class LogicDigest {
 public:
  LogicDigest();
  void Add(LogicPart part, const char* field, const void* bytes, size_t size);
  template <typename T>
  void Value(LogicPart part, const char* field, const T& value) {
    Add(part, field, &value, sizeof(value));
  }

  uint64_t part(LogicPart p) const { return parts_[p]; }
  // Everything but the look's angles; the angles; both.
  uint64_t world() const;
  uint64_t player() const { return parts_[kLogicAngles]; }
  uint64_t all() const;
  // "name,name,..." of one part: every field any digest of this run added, in the order first seen.
  static std::string FieldNames(LogicPart part);

  static const char* PartName(uint32_t part);

 private:
  uint64_t parts_[kLogicPartCount];
};
