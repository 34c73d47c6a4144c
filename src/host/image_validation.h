#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "host/engine_mappings.h"
#include "host/image_headers.h"

namespace driftglass {

// Checks the mapped main executable and fills all 30 entries, or returns the first failure's text.
bool ValidateHostAndResolve(const void* hostImageBase, EngineMappings& mappings,
                            std::wstring& errorText);

// The first section header whose name begins with ".text" (.textbss counts), if any.
bool FindTextSection(const ImageHeaders& image, IMAGE_SECTION_HEADER& section);

// Adds every match of pattern/mask inside the region to count (stopping once count exceeds 1)
// and records the last match's address.
void ScanSignature(const uint8_t* regionStart, uint32_t regionSize, const uint8_t* pattern,
                   uint32_t length, const char* mask, uint32_t maskLength, uint32_t& matchCount,
                   uintptr_t& matchAddress);

}  // namespace driftglass
