#pragma once

#include <cstdint>
#include <string>

namespace driftglass {

// The parts of the mapped main executable's PE32 headers the plug-in relies on, each checked to
// lie inside SizeOfImage and to be readable before it was read.
struct ImageHeaders {
  const uint8_t* base = nullptr;
  uint32_t ntOffset = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sectionTableOffset = 0;
  uint16_t numberOfSections = 0;
};

// Offsets inside the NT headers.
constexpr uint32_t kNtSizeOfImageOffset = 80;
constexpr uint32_t kNtImportDirectoryOffset = 128;
constexpr uint32_t kNtHeaderBytesRead = 136;  // through the import directory entry
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionExecuteFlag = 0x20000000;

// True exactly when [rva, rva + length) lies inside an image of imageSize bytes.
bool ImageRangeInside(uint32_t imageSize, uint32_t rva, uint32_t length);

// Checks the DOS and NT headers and the section table; fills the error text on failure.
bool ReadImageHeaders(const void* imageBase, ImageHeaders& headers, std::wstring& errorText);

// Reads a value at an image-relative address after the bounds and readability checks.
template <typename T>
bool ReadImageValue(const ImageHeaders& image, uint32_t rva, T& out);

}  // namespace driftglass

#include "host/guarded_memory.h"

namespace driftglass {

template <typename T>
bool ReadImageValue(const ImageHeaders& image, uint32_t rva, T& out) {
  return ImageRangeInside(image.sizeOfImage, rva, sizeof(T)) && ReadHostValue(image.base, rva, out);
}

}  // namespace driftglass
