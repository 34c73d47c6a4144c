#include "timing/frame_rate.h"

#include <cwchar>

namespace driftglass {

FrameRate Reduced(const FrameRate& rate) {
  if (!rate.known()) return rate;
  uint32_t a = rate.numerator, b = rate.denominator;
  while (b != 0) {
    const uint32_t r = a % b;
    a = b;
    b = r;
  }
  return FrameRate{rate.numerator / a, rate.denominator / a};
}

void FormatFrameRate(const FrameRate& rate, wchar_t* text, uint32_t capacity) {
  if (capacity == 0) return;
  if (!rate.known()) {
    swprintf(text, capacity, L"0");
    return;
  }
  const uint64_t hundredths = (uint64_t{rate.numerator} * 100 + rate.denominator / 2) / rate.denominator;
  const uint64_t whole = hundredths / 100;
  const uint64_t fraction = hundredths % 100;
  if (fraction == 0) {
    swprintf(text, capacity, L"%llu", static_cast<unsigned long long>(whole));
  } else if (fraction % 10 == 0) {
    swprintf(text, capacity, L"%llu.%llu", static_cast<unsigned long long>(whole),
             static_cast<unsigned long long>(fraction / 10));
  } else {
    swprintf(text, capacity, L"%llu.%02llu", static_cast<unsigned long long>(whole),
             static_cast<unsigned long long>(fraction));
  }
}

}  // namespace driftglass
