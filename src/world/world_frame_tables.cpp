#include "world/world_frame_tables.h"

namespace driftglass {
namespace {

// Indexes the position and notes its slot; false when the index is full.
bool Index(WorldIndex<const void*>& index, const void* key, uint32_t position,
           uint16_t* slotOf) {
  const uint32_t slot = index.InsertSlot(key, position);
  if (slot == kWorldIndexNotFound) return false;
  slotOf[position] = static_cast<uint16_t>(slot);
  return true;
}

void Unindex(WorldIndex<const void*>& index, const uint16_t* slotOf, uint32_t count) {
  for (uint32_t p = 0; p < count; ++p) index.ClearSlot(slotOf[p]);
}

}  // namespace

void WorldFrameMeshes::Clear() {
  Unindex(index_, slotOf_, count_);
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
  if (count_ == kCapacity || !Index(index_, mesh, count_, slotOf_)) return nullptr;
  WorldFrameMesh& added = entries_[count_++];
  added = WorldFrameMesh{};
  added.mesh = mesh;
  return &added;
}

void WorldFrameBodies::Clear() {
  Unindex(index_, slotOf_, count_);
  count_ = 0;
}

const WorldBodyEntry* WorldFrameBodies::Find(const void* body) const {
  const uint32_t position = index_.Find(body, [this](uint32_t p) { return rows_[p].body; });
  return position == kWorldIndexNotFound ? nullptr : rows_[position].entry;
}

bool WorldFrameBodies::Register(const WorldBodyEntry& entry) {
  if (Find(entry.body) != nullptr) return true;
  if (count_ == kCapacity || !Index(index_, entry.body, count_, slotOf_)) return false;
  rows_[count_++] = Row{entry.body, &entry};
  return true;
}

ModelMatrixSlot* WorldModelSlots::Take(const void* subMesh, uint16_t& number) {
  if (count_ == kCapacity) return nullptr;
  number = static_cast<uint16_t>(count_);
  ModelMatrixSlot& slot = slots_[count_++];
  slot.subMesh = subMesh;
  return &slot;
}

}  // namespace driftglass
