#pragma once
// Bodies the physics moved this tick, noted from the transform callback on any physics thread
// and drained on the main thread after the tick. Producers take a position with one atomic
// increment; two banks let a drain finish reading the positions claimed before it while new
// notes go to the other bank, so a note made during a drain is neither lost nor read twice.

#include <atomic>
#include <cstdint>

namespace driftglass {

struct MovedBodyDrain {
  uint32_t moved = 0;     // positions drained (at most the capacity)
  uint32_t overflow = 0;  // notes refused since the last drain for want of a position
  uint32_t received = 0;  // bodies copied out; below moved only if a producer never stored
};

class MovedBodyQueue {
 public:
  static constexpr uint32_t kCapacity = 1024;

  // Lock-free; null is ignored.
  void Note(void* body);
  // Copies the noted bodies, in the order their positions were taken, into bodies[0, received).
  // Main thread only.
  MovedBodyDrain Drain(void* (&bodies)[kCapacity]);
  // Not while producers run.
  void Clear();

 private:
  // claims_ holds the drain round (high half; its low bit is the bank producers write to) and the
  // positions claimed in it (low half). Each slot holds the round it was written in beside the
  // body, so a store that arrives after its drain gave up on it is never taken for a later note.
  static uint64_t Stamp(uint32_t round, void* body) {
    return (uint64_t{round} << 32) | reinterpret_cast<uintptr_t>(body);
  }

  static_assert(std::atomic<uint64_t>::is_always_lock_free, "physics threads must never wait on a lock");
  std::atomic<uint64_t> claims_{uint64_t{1} << 32};  // round 0 would match an empty slot
  std::atomic<uint32_t> overflow_{0};
  std::atomic<uint64_t> slots_[2][kCapacity] = {};
  uint32_t round_ = 1;  // changed only by Drain
};

}  // namespace driftglass
