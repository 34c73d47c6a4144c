#include "host/image_headers.h"

#include <windows.h>

#include "host/guarded_memory.h"

namespace driftglass {
namespace {

constexpr wchar_t kInvalidDosHeader[] = L"Invalid DOS header in main executable mapping";
constexpr wchar_t kInvalidPeHeader[] = L"Invalid PE32 header in main executable mapping";

bool Fail(std::wstring& errorText, const wchar_t* text) {
  errorText = text;
  return false;
}

bool SpanFitsAddressSpace(const uint8_t* base, uint64_t offset, uint64_t length) {
  return reinterpret_cast<uintptr_t>(base) + offset + length <= uint64_t{UINTPTR_MAX} + 1;
}

}  // namespace

bool ImageRangeInside(uint32_t imageSize, uint32_t rva, uint32_t length) {
  return rva <= imageSize && length <= imageSize - rva;
}

bool ReadImageHeaders(const void* imageBase, ImageHeaders& headers, std::wstring& errorText) {
  const auto* base = static_cast<const uint8_t*>(imageBase);
  IMAGE_DOS_HEADER dos;
  if (!ReadHostValue(base, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) {
    return Fail(errorText, kInvalidDosHeader);
  }

  // A hostile or truncated mapping may point anywhere: every header byte is checked before use.
  const uint32_t ntOffset = static_cast<uint32_t>(dos.e_lfanew);
  if (!SpanFitsAddressSpace(base, ntOffset, kNtHeaderBytesRead) ||
      !IsSpanReadable(base + ntOffset, kNtHeaderBytesRead)) {
    return Fail(errorText, kInvalidPeHeader);
  }
  IMAGE_NT_HEADERS32 nt{};
  memcpy(&nt, base + ntOffset, kNtHeaderBytesRead);
  if (nt.Signature != IMAGE_NT_SIGNATURE ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    return Fail(errorText, kInvalidPeHeader);
  }
  const uint32_t sizeOfImage = nt.OptionalHeader.SizeOfImage;
  if (!ImageRangeInside(sizeOfImage, 0, sizeof(IMAGE_DOS_HEADER)) ||
      !ImageRangeInside(sizeOfImage, ntOffset, kNtHeaderBytesRead)) {
    return Fail(errorText, kInvalidPeHeader);
  }

  const uint64_t sectionTable = uint64_t{ntOffset} + 24 + nt.FileHeader.SizeOfOptionalHeader;
  const uint64_t sectionBytes = uint64_t{kSectionHeaderSize} * nt.FileHeader.NumberOfSections;
  if (sectionTable > sizeOfImage ||
      !ImageRangeInside(sizeOfImage, static_cast<uint32_t>(sectionTable),
                        static_cast<uint32_t>(sectionBytes)) ||
      (sectionBytes > 0 && !IsSpanReadable(base + sectionTable, sectionBytes))) {
    return Fail(errorText, kInvalidPeHeader);
  }

  headers.base = base;
  headers.ntOffset = ntOffset;
  headers.sizeOfImage = sizeOfImage;
  headers.sectionTableOffset = static_cast<uint32_t>(sectionTable);
  headers.numberOfSections = nt.FileHeader.NumberOfSections;
  return true;
}

}  // namespace driftglass
