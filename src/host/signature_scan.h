#pragma once

#include <cstdint>

namespace driftglass {

// Adds every match of pattern/mask inside the region to count (stopping once count exceeds 1)
// and records the last match's address. Plain byte comparison: the caller has made sure the
// region is readable.
void ScanSignature(const uint8_t* regionStart, uint32_t regionSize, const uint8_t* pattern,
                   uint32_t length, const char* mask, uint32_t maskLength, uint32_t& matchCount,
                   uintptr_t& matchAddress);

}  // namespace driftglass
