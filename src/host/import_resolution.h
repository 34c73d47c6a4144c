#pragma once

#include <cstdint>
#include <string>

#include "host/image_headers.h"

namespace driftglass {

// Takes the address the loader bound into the executable's import table for one function name.
// The narrow name is compared; the wide name prefixes the error texts.
bool ResolveNamedImport(const ImageHeaders& image, const char* narrowName, const wchar_t* wideName,
                        uintptr_t& address, std::wstring& errorText);

// Finds SDL_GetRelativeMouseMode in the module that holds the resolved SDL_GetRelativeMouseState,
// without taking a reference on that module.
bool FindSdlGetRelativeMouseMode(uintptr_t relativeMouseStateAddress, uintptr_t& address,
                                 std::wstring& errorText);

}  // namespace driftglass
