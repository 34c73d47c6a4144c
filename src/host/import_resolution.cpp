#include "host/import_resolution.h"

#include <windows.h>

#include <cstring>

#include "host/guarded_memory.h"

namespace driftglass {
namespace {

constexpr uint32_t kDescriptorSize = 20;
constexpr uint32_t kOrdinalFlag = 0x80000000u;

struct ImportDescriptor {
  uint32_t originalFirstThunk;
  uint32_t timeDateStamp;
  uint32_t forwarderChain;
  uint32_t name;
  uint32_t firstThunk;
};
static_assert(sizeof(ImportDescriptor) == kDescriptorSize);

bool Fail(std::wstring& errorText, const wchar_t* wideName, const wchar_t* reason) {
  errorText = std::wstring(wideName) + L": " + reason;
  return false;
}

// Whether a NUL byte ends the text at rva before the image does, reading region by region.
bool IsTerminatedInsideImage(const ImageHeaders& image, uint32_t rva) {
  const uint8_t* cursor = image.base + rva;
  size_t remaining = image.sizeOfImage - rva;
  while (remaining > 0) {
    size_t readable = ReadableBytesInRegion(cursor);
    if (readable == 0) return false;
    if (readable > remaining) readable = remaining;
    if (memchr(cursor, 0, readable) != nullptr) return true;
    cursor += readable;
    remaining -= readable;
  }
  return false;
}

}  // namespace

bool ResolveNamedImport(const ImageHeaders& image, const char* narrowName, const wchar_t* wideName,
                        uintptr_t& address, std::wstring& errorText) {
  IMAGE_DATA_DIRECTORY directory{};
  if (!ReadImageValue(image, image.ntOffset + kNtImportDirectoryOffset, directory) ||
      directory.VirtualAddress == 0 || directory.Size < kDescriptorSize ||
      !ImageRangeInside(image.sizeOfImage, directory.VirtualAddress, directory.Size) ||
      !IsSpanReadable(image.base + directory.VirtualAddress, directory.Size)) {
    return Fail(errorText, wideName, L"executable import directory is invalid");
  }

  const uint32_t descriptorCount = directory.Size / kDescriptorSize;
  uint32_t matches = 0;
  uint32_t boundAddress = 0;
  for (uint32_t i = 0; i < descriptorCount; ++i) {
    ImportDescriptor descriptor;
    memcpy(&descriptor, image.base + directory.VirtualAddress + i * kDescriptorSize,
           sizeof(descriptor));
    if (descriptor.originalFirstThunk == 0 && descriptor.name == 0 &&
        descriptor.firstThunk == 0) {
      break;
    }
    if (descriptor.firstThunk == 0 || descriptor.originalFirstThunk == 0) continue;

    for (uint64_t j = 0;; ++j) {
      const uint64_t nameSlot = descriptor.originalFirstThunk + 4 * j;
      const uint64_t boundSlot = descriptor.firstThunk + 4 * j;
      uint32_t thunk = 0;
      if (nameSlot > image.sizeOfImage || boundSlot > image.sizeOfImage ||
          !ImageRangeInside(image.sizeOfImage, static_cast<uint32_t>(boundSlot), 4) ||
          !ReadImageValue(image, static_cast<uint32_t>(nameSlot), thunk)) {
        return Fail(errorText, wideName, L"import thunk lies outside the image");
      }
      if (thunk == 0) break;
      if ((thunk & kOrdinalFlag) != 0) continue;
      if (!ImageRangeInside(image.sizeOfImage, thunk, 4) ||
          !IsRangeReadable(image.base + thunk, 4)) {
        return Fail(errorText, wideName, L"import name lies outside the image");
      }
      const uint32_t nameRva = thunk + 2;
      if (!IsTerminatedInsideImage(image, nameRva)) {
        return Fail(errorText, wideName, L"unterminated import name");
      }
      if (strcmp(reinterpret_cast<const char*>(image.base + nameRva), narrowName) != 0) continue;
      uint32_t bound = 0;
      if (!ReadImageValue(image, static_cast<uint32_t>(boundSlot), bound)) {
        return Fail(errorText, wideName, L"import thunk lies outside the image");
      }
      ++matches;
      boundAddress = bound;
    }
  }

  if (matches != 1) {
    errorText = std::wstring(wideName) + L": expected one named import, found " +
                std::to_wstring(matches);
    return false;
  }
  address = boundAddress;
  if (!IsCommittedExecutableTarget(reinterpret_cast<const void*>(address))) {
    return Fail(errorText, wideName, L"resolved import target is not executable");
  }
  return true;
}

bool FindSdlGetRelativeMouseMode(uintptr_t relativeMouseStateAddress, uintptr_t& address,
                                 std::wstring& errorText) {
  HMODULE sdl = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(relativeMouseStateAddress), &sdl)) {
    errorText = L"Could not identify the SDL2 module for GUI mouse-mode detection";
    return false;
  }
  const FARPROC mode = GetProcAddress(sdl, "SDL_GetRelativeMouseMode");
  if (mode == nullptr) {
    errorText = L"SDL_GetRelativeMouseMode is unavailable for GUI mouse-mode detection";
    return false;
  }
  address = reinterpret_cast<uintptr_t>(mode);
  return true;
}

}  // namespace driftglass
