#pragma once
// What one rendered frame knows about the world roots: which meshes and bodies have a correction,
// and the matrices handed to the renderer. Filled by the frame's Apply and emptied by its Restore.
// Nothing is erased within a frame, so each table empties its index by the slots it filled.

#include <cstdint>
#include <span>

#include "shared/model_matrix_slot.h"
#include "world/world_body_table.h"
#include "world/world_index.h"

namespace driftglass {

struct WorldFrameMesh {
  const void* mesh = nullptr;
  const WorldBodyEntry* grunt = nullptr;
  const WorldBodyEntry* singlePropBody = nullptr;  // meaningful when trackedPropBodies is 1
  uint32_t trackedPropBodies = 0;
  uint32_t largestBodyCount = 0;
  bool hasProp = false;
};

class WorldFrameMeshes {
 public:
  static constexpr uint32_t kCapacity = 512;

  void Clear();
  const WorldFrameMesh* Find(const void* mesh) const;
  WorldFrameMesh* Find(const void* mesh);
  WorldFrameMesh* FindOrAdd(const void* mesh);  // nullptr when full
  std::span<const WorldFrameMesh> entries() const { return {entries_, count_}; }

 private:
  WorldFrameMesh entries_[kCapacity];
  uint16_t slotOf_[kCapacity];
  uint32_t count_ = 0;
  WorldIndex<const void*> index_;
};

// Physics body → the entry whose correction it carries.
class WorldFrameBodies {
 public:
  static constexpr uint32_t kCapacity = 512;

  void Clear();
  const WorldBodyEntry* Find(const void* body) const;
  // The first entry registered for a body keeps it; false when the table is full.
  bool Register(const WorldBodyEntry& entry);

 private:
  struct Row {
    const void* body = nullptr;
    const WorldBodyEntry* entry = nullptr;
  };
  Row rows_[kCapacity];
  uint16_t slotOf_[kCapacity];
  uint32_t count_ = 0;
  WorldIndex<const void*> index_;
};

// The frame's matrices handed to the renderer, in the order they were taken; which sub-mesh has
// which is kept with its answer (world_model_answers.h).
class WorldModelSlots {
 public:
  static constexpr uint32_t kCapacity = 512;

  void Clear() { count_ = 0; }
  // A new slot and its number; nullptr when all are taken.
  ModelMatrixSlot* Take(const void* subMesh, uint16_t& number);
  ModelMatrixSlot& at(uint16_t number) { return slots_[number]; }
  bool full() const { return count_ == kCapacity; }
  uint32_t count() const { return count_; }

 private:
  ModelMatrixSlot slots_[kCapacity];
  uint32_t count_ = 0;
};

}  // namespace driftglass
