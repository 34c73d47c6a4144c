#pragma once
// A frame rate as the display reports it: an exact fraction (59.94 Hz is 60000/1001), or whole
// hertz over 1 where the system offers nothing finer.

#include <cstdint>

namespace driftglass {

struct FrameRate {
  uint32_t numerator = 0;  // 0: no rate
  uint32_t denominator = 1;

  bool known() const { return numerator != 0 && denominator != 0; }
  bool operator==(const FrameRate& other) const {
    return uint64_t{numerator} * other.denominator == uint64_t{other.numerator} * denominator;
  }
  bool operator!=(const FrameRate& other) const { return !(*this == other); }
};

inline FrameRate WholeHertz(uint32_t hertz) { return FrameRate{hertz, 1}; }

// The same rate in lowest terms (144000/1000 is 144/1).
FrameRate Reduced(const FrameRate& rate);

// "144" or "59.94": hundredths, rounded, trailing zeros dropped.
void FormatFrameRate(const FrameRate& rate, wchar_t* text, uint32_t capacity);

}  // namespace driftglass
