#pragma once
// Bodies the physics moved this tick, noted from the transform callback on any physics thread
// and drained on the main thread after the tick. Producers take a position with one atomic
// increment; two banks let a drain finish reading the positions claimed before it while new
// notes go to the other bank, so a note made during a drain is neither lost nor read twice. A
// position claimed but not yet stored when the drain reaches it is skipped, never waited for:
// the main thread must not stall on a preempted physics thread, and the slot's round stamp keeps
// the late store from being read as a later note.

#include <atomic>
#include <cstdint>

namespace driftglass {

struct MovedBodyDrain {
  uint32_t moved = 0;     // positions drained (at most the capacity)
  uint32_t overflow = 0;  // notes refused since the last drain for want of a position
  uint32_t received = 0;  // bodies copied out
  uint32_t skipped = 0;   // positions whose producer had not stored yet; received + skipped == moved
};

// A producer's position, between taking it and storing its body.
struct MovedBodyClaim {
  uint32_t round = 0;
  uint32_t position = 0;
  bool taken = false;  // false when the bank was full (counted as overflow)
};

class MovedBodyQueue {
 public:
  static constexpr uint32_t kCapacity = 1024;

  // Lock-free; null is ignored. Claim, then Store: apart, a test can hold a producer between them.
  void Note(void* body) {
    if (body != nullptr) Store(Claim(), body);
  }
  MovedBodyClaim Claim();
  void Store(const MovedBodyClaim& claim, void* body);
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
