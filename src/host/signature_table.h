#pragma once

#include <cstdint>

#include "host/engine_mappings.h"

namespace driftglass {

// One engine function's code bytes at its entry point; mask "x" means the byte must match.
struct SignatureSpec {
  const wchar_t* name;
  uint32_t mapping;
  const uint8_t* pattern;
  uint32_t patternLength;
  const char* mask;
  uint32_t maskLength;
  const uint8_t* alternative;  // null when the function has one form only
  uint32_t alternativeLength;
  const char* alternativeMask;
  uint32_t alternativeMaskLength;
};

constexpr uint32_t kSignatureCount = 26;

// The 26 signatures in resolution order.
const SignatureSpec* SignatureTable();

}  // namespace driftglass
