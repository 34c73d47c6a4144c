#include "timing/tick_sequence.h"

namespace driftglass {

std::atomic<uint64_t>& ProcessTickSequence() {
  static std::atomic<uint64_t> sequence{0};
  return sequence;
}

uint64_t AdvanceTickSequence(std::atomic<uint64_t>& sequence) {
  uint64_t current = sequence.load();
  while (!sequence.compare_exchange_weak(current, current + 1)) {
  }
  return current + 1;
}

}  // namespace driftglass
