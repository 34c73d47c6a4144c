#include "world/world_model_histories.h"

namespace driftglass {

void WorldModelHistories::Clear() {
  for (ModelHistory& entry : entries_) entry = ModelHistory{};
  index_.Clear();
}

uint32_t WorldModelHistories::Position(const void* subMesh) const {
  return index_.Find(subMesh, [this](uint32_t p) { return entries_[p].subMesh; });
}

ModelHistory* WorldModelHistories::Find(const void* subMesh) {
  const uint32_t position = Position(subMesh);
  return position == kWorldIndexNotFound ? nullptr : &entries_[position];
}

const ModelHistory* WorldModelHistories::Find(const void* subMesh) const {
  const uint32_t position = Position(subMesh);
  return position == kWorldIndexNotFound ? nullptr : &entries_[position];
}

ModelHistory* WorldModelHistories::Take(const void* subMesh, const void* ownerMesh,
                                        uint64_t tick) {
  if (ModelHistory* found = Find(subMesh)) {
    if (found->ownerMesh != ownerMesh) {
      found->history.ClearHistory();
      found->ownerMesh = ownerMesh;
    }
    return found;
  }
  ModelHistory* victim = nullptr;
  for (ModelHistory& entry : entries_) {
    if (!entry.inUse) {
      victim = &entry;
      break;
    }
    if (entry.cacheApplied || entry.lastCapturedTick == tick) continue;
    if (victim == nullptr || entry.lastCapturedTick < victim->lastCapturedTick) victim = &entry;
  }
  if (victim == nullptr) return nullptr;
  // The evicted history changes key, so its index slot moves with it.
  if (victim->inUse) {
    index_.Erase(victim->subMesh, [this](uint32_t p) { return entries_[p].subMesh; });
  }
  *victim = ModelHistory{};
  victim->subMesh = subMesh;
  victim->ownerMesh = ownerMesh;
  victim->inUse = true;
  index_.Insert(subMesh, static_cast<uint32_t>(victim - entries_));
  return victim;
}

uint32_t WorldModelHistories::InUse() const {
  uint32_t count = 0;
  for (const ModelHistory& entry : entries_) count += entry.inUse ? 1 : 0;
  return count;
}

}  // namespace driftglass
