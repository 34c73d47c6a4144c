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
  static constexpr uint32_t kBankBit = 0x80000000u;

  std::atomic<uint32_t> claims_{0};  // bank bit | positions claimed in that bank
  std::atomic<uint32_t> overflow_{0};
  std::atomic<void*> slots_[2][kCapacity] = {};
  uint32_t bank_ = 0;  // the bank producers write to; changed only by Drain
};

}  // namespace driftglass
