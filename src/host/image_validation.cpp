#include "host/image_validation.h"

#include <cstring>

#include "host/guarded_memory.h"
#include "host/import_resolution.h"
#include "host/signature_scan.h"
#include "host/signature_table.h"

namespace driftglass {
namespace {

struct NamedImport {
  uint32_t mapping;
  const char* narrowName;
};

constexpr NamedImport kNamedImports[] = {
    {kNewtonBodyGetUserData, "NewtonBodyGetUserData"},
    {kSdlGetRelativeMouseState, "SDL_GetRelativeMouseState"},
    {kSdlPumpEvents, "SDL_PumpEvents"},
    {kSdlGetTicks, "SDL_GetTicks"},
};

bool Fail(std::wstring& errorText, const wchar_t* name, const std::wstring& reason) {
  errorText = std::wstring(name) + L": " + reason;
  return false;
}

bool ResolveSignature(const SignatureSpec& signature, const uint8_t* text, uint32_t textSize,
                      uintptr_t& address, std::wstring& errorText) {
  if (signature.maskLength != signature.patternLength ||
      signature.alternativeMaskLength != signature.alternativeLength) {
    return Fail(errorText, signature.name, L"internal signature length mismatch");
  }
  if (textSize < signature.patternLength) {
    return Fail(errorText, signature.name, L".text is smaller than the signature");
  }
  uint32_t count = 0;
  uintptr_t match = 0;
  ScanSignature(text, textSize, signature.pattern, signature.patternLength, signature.mask, signature.maskLength,
                count, match);
  ScanSignature(text, textSize, signature.alternative, signature.alternativeLength, signature.alternativeMask,
                signature.alternativeMaskLength, count, match);
  if (count != 1) {
    return Fail(errorText, signature.name,
                L"expected one signature match, found " + std::to_wstring(count));
  }
  if (!IsExecutableTarget(reinterpret_cast<const void*>(match))) {
    return Fail(errorText, signature.name, L"target address is not executable memory");
  }
  address = match;
  return true;
}

const SignatureSpec* FindSignatureFor(uint32_t mapping) {
  const SignatureSpec* table = SignatureTable();
  for (uint32_t i = 0; i < kSignatureCount; ++i) {
    if (table[i].mapping == mapping) return &table[i];
  }
  return nullptr;
}

const NamedImport* FindImportFor(uint32_t mapping) {
  for (const NamedImport& entry : kNamedImports) {
    if (entry.mapping == mapping) return &entry;
  }
  return nullptr;
}

}  // namespace

bool FindTextSection(const ImageHeaders& image, IMAGE_SECTION_HEADER& section) {
  for (uint32_t i = 0; i < image.numberOfSections; ++i) {
    IMAGE_SECTION_HEADER candidate;
    memcpy(&candidate, image.base + image.sectionTableOffset + i * kSectionHeaderSize,
           sizeof(candidate));
    if (memcmp(candidate.Name, ".text", 5) == 0) {
      section = candidate;
      return true;
    }
  }
  return false;
}

bool ValidateHostAndResolve(const void* hostImageBase, EngineMappings& mappings,
                            std::wstring& errorText) {
  if (hostImageBase == nullptr) {
    errorText = L"Main executable module is unavailable";
    return false;
  }
  ImageHeaders image;
  if (!ReadImageHeaders(hostImageBase, image, errorText)) return false;

  IMAGE_SECTION_HEADER text{};
  // The whole scanned range must be inside the image and readable now: the scan reads it directly.
  if (!FindTextSection(image, text) || (text.Characteristics & kSectionExecuteFlag) == 0 ||
      !ImageRangeInside(image.sizeOfImage, text.VirtualAddress, text.Misc.VirtualSize) ||
      (text.Misc.VirtualSize > 0 &&
       !IsSpanReadable(image.base + text.VirtualAddress, text.Misc.VirtualSize))) {
    errorText = L"Executable .text section was not found";
    return false;
  }
  const uint8_t* textStart = image.base + text.VirtualAddress;
  const uint32_t textSize = text.Misc.VirtualSize;

  EngineMappings resolved;
  for (uint32_t index = 0; index < kEngineMappingCount; ++index) {
    if (const NamedImport* entry = FindImportFor(index)) {
      if (!ResolveNamedImport(image, entry->narrowName, EngineMappingName(index),
                              resolved.address[index], errorText)) {
        return false;
      }
    } else if (const SignatureSpec* signature = FindSignatureFor(index)) {
      if (!ResolveSignature(*signature, textStart, textSize, resolved.address[index], errorText)) {
        return false;
      }
    }
  }
  mappings = resolved;
  return true;
}

}  // namespace driftglass
