#include "interp/moved_body_queue.h"

#include <thread>

namespace driftglass {
namespace {

// A producer that took a position but has not stored yet is between two instructions; a
// preempted one gets this many chances before its note is given up.
constexpr uint32_t kStoreWaitYields = 100000;

}  // namespace

void MovedBodyQueue::Note(void* body) {
  if (body == nullptr) return;
  const uint32_t claim = claims_.fetch_add(1, std::memory_order_acq_rel);
  const uint32_t position = claim & ~kBankBit;
  if (position >= kCapacity) {
    overflow_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  slots_[claim >> 31][position].store(body, std::memory_order_release);
}

MovedBodyDrain MovedBodyQueue::Drain(void* (&bodies)[kCapacity]) {
  const uint32_t drained = bank_;
  bank_ ^= 1u;
  const uint32_t claim = claims_.exchange(bank_ ? kBankBit : 0u, std::memory_order_acq_rel);
  MovedBodyDrain result;
  const uint32_t claimed = claim & ~kBankBit;
  result.overflow = overflow_.exchange(0, std::memory_order_relaxed);
  const uint32_t positions = claimed < kCapacity ? claimed : kCapacity;
  for (uint32_t i = 0; i < positions; ++i) {
    void* body = slots_[drained][i].exchange(nullptr, std::memory_order_acquire);
    for (uint32_t wait = 0; body == nullptr && wait < kStoreWaitYields; ++wait) {
      std::this_thread::yield();
      body = slots_[drained][i].exchange(nullptr, std::memory_order_acquire);
    }
    if (body != nullptr) bodies[result.received++] = body;
  }
  result.moved = positions;
  return result;
}

void MovedBodyQueue::Clear() {
  claims_.store(bank_ ? kBankBit : 0u, std::memory_order_relaxed);
  overflow_.store(0, std::memory_order_relaxed);
  for (auto& bank : slots_) {
    for (std::atomic<void*>& slot : bank) slot.store(nullptr, std::memory_order_relaxed);
  }
}

}  // namespace driftglass
