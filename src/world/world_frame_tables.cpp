#include "world/world_frame_tables.h"

namespace driftglass {

void WorldFrameMeshes::Clear() {
  // The index is 4 KB; most frames have nothing in it.
  if (count_ != 0) index_.Clear();
  count_ = 0;
}

const WorldFrameMesh* WorldFrameMeshes::Find(const void* mesh) const {
  const uint32_t position = index_.Find(mesh, [this](uint32_t p) { return entries_[p].mesh; });
  return position == kWorldIndexNotFound ? nullptr : &entries_[position];
}

WorldFrameMesh* WorldFrameMeshes::Find(const void* mesh) {
  return const_cast<WorldFrameMesh*>(static_cast<const WorldFrameMeshes*>(this)->Find(mesh));
}

WorldFrameMesh* WorldFrameMeshes::FindOrAdd(const void* mesh) {
  if (WorldFrameMesh* found = Find(mesh)) return found;
  if (count_ == kCapacity || !index_.Insert(mesh, count_)) return nullptr;
  WorldFrameMesh& added = entries_[count_++];
  added = WorldFrameMesh{};
  added.mesh = mesh;
  return &added;
}

void WorldFrameBodies::Clear() {
  if (count_ != 0) index_.Clear();
  count_ = 0;
}

const WorldBodyEntry* WorldFrameBodies::Find(const void* body) const {
  const uint32_t position = index_.Find(body, [this](uint32_t p) { return rows_[p].body; });
  return position == kWorldIndexNotFound ? nullptr : rows_[position].entry;
}

bool WorldFrameBodies::Register(const WorldBodyEntry& entry) {
  if (Find(entry.body) != nullptr) return true;
  if (count_ == kCapacity || !index_.Insert(entry.body, count_)) return false;
  rows_[count_++] = Row{entry.body, &entry};
  return true;
}

void WorldModelSlots::Clear() {
  if (count_ != 0) index_.Clear();
  count_ = 0;
}

ModelMatrixSlot* WorldModelSlots::FindOrTake(const void* subMesh) {
  if (ModelMatrixSlot* found = Find(subMesh)) return found;
  return Take(subMesh);
}

ModelMatrixSlot* WorldModelSlots::Find(const void* subMesh) {
  const uint32_t position =
      index_.Find(subMesh, [this](uint32_t p) { return slots_[p].subMesh; });
  return position == kWorldIndexNotFound ? nullptr : &slots_[position];
}

ModelMatrixSlot* WorldModelSlots::Take(const void* subMesh) {
  if (count_ == kCapacity || !index_.Insert(subMesh, count_)) return nullptr;
  ModelMatrixSlot& slot = slots_[count_++];
  slot.subMesh = subMesh;
  return &slot;
}

}  // namespace driftglass
