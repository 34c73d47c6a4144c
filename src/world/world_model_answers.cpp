#include "world/world_model_answers.h"

#include "world/world_index.h"

namespace driftglass {

uint32_t WorldModelAnswers::Home(const void* key) const {
  return MixWorldKey(WorldKeyBits(key)) & (kIndexSlots - 1);
}

uint32_t WorldModelAnswers::BeginFrame(uint64_t stamp) {
  if (!stamped_ || stamp != stamp_) {
    Forget();
    stamp_ = stamp;
    stamped_ = true;
  }
  cursor_ = 0;
  return ++frame_;
}

void WorldModelAnswers::Forget() {
  for (uint32_t p = 0; p < count_; ++p) index_[slotOf_[p]] = 0;
  count_ = 0;
  cursor_ = 0;
  stamped_ = false;
}

WorldModelAnswer* WorldModelAnswers::Find(const void* subMesh) {
  if (cursor_ < count_ && keys_[cursor_] == subMesh) return &answers_[cursor_++];
  for (uint32_t slot = Home(subMesh);; slot = (slot + 1) & (kIndexSlots - 1)) {
    const uint32_t value = index_[slot];
    if (value == 0) return nullptr;
    if (keys_[value - 1] == subMesh) {
      cursor_ = value;  // the renderer goes on from here
      return &answers_[value - 1];
    }
  }
}

WorldModelAnswer* WorldModelAnswers::Add(const void* subMesh) {
  if (count_ == kCapacity) return nullptr;
  uint32_t slot = Home(subMesh);
  while (index_[slot] != 0) slot = (slot + 1) & (kIndexSlots - 1);
  index_[slot] = static_cast<uint16_t>(count_ + 1);
  slotOf_[count_] = static_cast<uint16_t>(slot);
  keys_[count_] = subMesh;
  answers_[count_] = WorldModelAnswer{};
  cursor_ = count_ + 1;
  return &answers_[count_++];
}

}  // namespace driftglass
