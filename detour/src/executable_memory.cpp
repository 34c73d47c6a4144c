#include "executable_memory.h"

#include <windows.h>

#include <cstring>

namespace detour {

void* ExecutableMemory::AllocateSlot() {
  for (Block& block : blocks_) {
    if (block.base == nullptr) {
      block.base = static_cast<uint8_t*>(
          VirtualAlloc(nullptr, kBlockSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
      if (block.base == nullptr) return nullptr;
    }
    if (block.used == kSlotsPerBlock) continue;
    for (uint32_t i = 0; i < kSlotsPerBlock; ++i) {
      if (block.inUse[i]) continue;
      block.inUse[i] = 1;
      ++block.used;
      ++slotsInUse_;
      uint8_t* slot = block.base + i * kSlotSize;
      memset(slot, 0xCC, kSlotSize);  // int3 anywhere a stray jump might land
      return slot;
    }
  }
  return nullptr;
}

void ExecutableMemory::FreeSlot(void* slot) {
  auto* address = static_cast<uint8_t*>(slot);
  for (Block& block : blocks_) {
    if (block.base == nullptr || address < block.base || address >= block.base + kBlockSize) {
      continue;
    }
    const uint32_t index = static_cast<uint32_t>(address - block.base) / kSlotSize;
    if (block.inUse[index]) {
      block.inUse[index] = 0;
      --block.used;
      --slotsInUse_;
      memset(address, 0xCC, kSlotSize);
    }
    return;
  }
}

void ExecutableMemory::ReleaseAll() {
  for (Block& block : blocks_) {
    if (block.base != nullptr) VirtualFree(block.base, 0, MEM_RELEASE);
    block = Block{};
  }
  slotsInUse_ = 0;
}

}  // namespace detour
