#include "world/moved_body_queue.h"

namespace driftglass {

MovedBodyClaim MovedBodyQueue::Claim() {
  const uint64_t claim = claims_.fetch_add(1, std::memory_order_acq_rel);
  MovedBodyClaim taken;
  taken.round = static_cast<uint32_t>(claim >> 32);
  taken.position = static_cast<uint32_t>(claim);
  taken.taken = taken.position < kCapacity;
  if (!taken.taken) overflow_.fetch_add(1, std::memory_order_relaxed);
  return taken;
}

void MovedBodyQueue::Store(const MovedBodyClaim& claim, void* body) {
  if (!claim.taken || body == nullptr) return;
  slots_[claim.round & 1u][claim.position].store(Stamp(claim.round, body), std::memory_order_release);
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
    const uint64_t slot = bank[i].exchange(0, std::memory_order_acquire);
    if ((slot >> 32) == drained && static_cast<uint32_t>(slot) != 0) {
      bodies[result.received++] = reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(slot)));
    } else {
      ++result.skipped;
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
