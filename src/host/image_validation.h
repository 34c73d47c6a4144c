#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "host/engine_mappings.h"
#include "host/image_headers.h"
#include "host/signature_scan.h"

namespace driftglass {

// Checks the mapped main executable and fills all 30 entries, or returns the first failure's text.
bool ValidateHostAndResolve(const void* hostImageBase, EngineMappings& mappings,
                            std::wstring& errorText);

// The first section header whose name begins with ".text" (.textbss counts), if any.
bool FindTextSection(const ImageHeaders& image, IMAGE_SECTION_HEADER& section);

}  // namespace driftglass
