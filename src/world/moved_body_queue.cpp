#include "world/moved_body_queue.h"

#include <thread>

namespace driftglass {
namespace {

// A producer that took a position but has not stored yet is between two instructions; a
// preempted one gets this many chances before its note is given up.
constexpr uint32_t kStoreWaitYields = 100000;

}  // namespace

void MovedBodyQueue::Note(void* body) {
  if (body == nullptr) return;
  const uint64_t claim = claims_.fetch_add(1, std::memory_order_acq_rel);
  const uint32_t round = static_cast<uint32_t>(claim >> 32);
  const uint32_t position = static_cast<uint32_t>(claim);
  if (position >= kCapacity) {
    overflow_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  slots_[round & 1u][position].store(Stamp(round, body), std::memory_order_release);
}

MovedBodyDrain MovedBodyQueue::Drain(void* (&bodies)[kCapacity]) {
  const uint32_t drained = round_++;
  const uint64_t claim = claims_.exchange(uint64_t{round_} << 32, std::memory_order_acq_rel);
  MovedBodyDrain result;
  const uint32_t claimed = static_cast<uint32_t>(claim);
  result.overflow = overflow_.exchange(0, std::memory_order_relaxed);
  const uint32_t positions = claimed < kCapacity ? claimed : kCapacity;
  std::atomic<uint64_t>* const bank = slots_[drained & 1u];
  for (uint32_t i = 0; i < positions; ++i) {
    // Only a note of this round counts; an older one is a store that came after its drain.
    uint64_t slot = bank[i].exchange(0, std::memory_order_acquire);
    for (uint32_t wait = 0; (slot >> 32) != drained && wait < kStoreWaitYields; ++wait) {
      std::this_thread::yield();
      slot = bank[i].exchange(0, std::memory_order_acquire);
    }
    if ((slot >> 32) == drained && static_cast<uint32_t>(slot) != 0) {
      bodies[result.received++] = reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(slot)));
    }
  }
  result.moved = positions;
  return result;
}

void MovedBodyQueue::Clear() {
  claims_.store(uint64_t{round_} << 32, std::memory_order_relaxed);
  overflow_.store(0, std::memory_order_relaxed);
  for (auto& bank : slots_) {
    for (std::atomic<uint64_t>& slot : bank) slot.store(0, std::memory_order_relaxed);
  }
}

}  // namespace driftglass
