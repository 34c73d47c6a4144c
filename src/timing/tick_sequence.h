#pragma once

#include <atomic>
#include <cstdint>

namespace driftglass {

// Number of the last completed fixed tick (first tick 1). Written by the tick detour, read from
// any thread.
std::atomic<uint64_t>& ProcessTickSequence();

// Advances the sequence by one with a compare-exchange loop and returns the new tick.
uint64_t AdvanceTickSequence(std::atomic<uint64_t>& sequence);

}  // namespace driftglass
