#include "host/signature_scan.h"

namespace driftglass {

void ScanSignature(const uint8_t* regionStart, uint32_t regionSize, const uint8_t* pattern,
                   uint32_t length, const char* mask, uint32_t maskLength, uint32_t& matchCount,
                   uintptr_t& matchAddress) {
  if (length == 0 || regionSize < length || maskLength < length) return;
  for (uint32_t offset = 0; offset <= regionSize - length; ++offset) {
    if (matchCount > 1) return;
    const uint8_t* candidate = regionStart + offset;
    uint32_t i = 0;
    while (i < length && (mask[i] != 'x' || candidate[i] == pattern[i])) ++i;
    if (i == length) {
      ++matchCount;
      matchAddress = reinterpret_cast<uintptr_t>(candidate);
    }
  }
}

}  // namespace driftglass
