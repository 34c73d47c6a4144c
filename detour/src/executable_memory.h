#pragma once

#include <cstdint>

namespace detour {

// Fixed-size slots of execute-read-write memory for trampolines, carved from 64 KB blocks that
// the engine owns. Not thread-safe: the engine's lock guards it.
class ExecutableMemory {
 public:
  static constexpr uint32_t kSlotSize = 64;
  static constexpr uint32_t kBlockSize = 64 * 1024;
  static constexpr uint32_t kSlotsPerBlock = kBlockSize / kSlotSize;
  static constexpr uint32_t kMaxBlocks = 32;

  void* AllocateSlot();
  void FreeSlot(void* slot);
  // Returns every block to the system; all slots must be unused by then.
  void ReleaseAll();
  uint32_t SlotsInUse() const { return slotsInUse_; }

 private:
  struct Block {
    uint8_t* base = nullptr;
    uint32_t used = 0;
    uint8_t inUse[kSlotsPerBlock] = {};
  };

  Block blocks_[kMaxBlocks];
  uint32_t slotsInUse_ = 0;
};

}  // namespace detour
