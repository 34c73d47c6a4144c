#include "support/test_image.h"

#include <cstring>
#include <string>

namespace driftglass::test {
namespace {

// Real code for import slots to point at; never called.
extern "C" __attribute__((noinline)) void TestImportTargetA() { asm volatile(""); }
extern "C" __attribute__((noinline)) void TestImportTargetB() { asm volatile(""); }

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

}  // namespace

TestImage::TestImage()
    : base_(static_cast<uint8_t*>(
          VirtualAlloc(nullptr, kSizeOfImage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base_);
  dos->e_magic = IMAGE_DOS_SIGNATURE;
  dos->e_lfanew = kNtOffset;
  IMAGE_NT_HEADERS32& headers = nt();
  headers.Signature = IMAGE_NT_SIGNATURE;
  headers.FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
  headers.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
  headers.FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE;
  headers.OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
  headers.OptionalHeader.SizeOfImage = kSizeOfImage;
  headers.OptionalHeader.SectionAlignment = 0x1000;
  headers.OptionalHeader.FileAlignment = 0x200;
  headers.OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
}

TestImage::~TestImage() { VirtualFree(base_, 0, MEM_RELEASE); }

IMAGE_NT_HEADERS32& TestImage::nt() const {
  return *reinterpret_cast<IMAGE_NT_HEADERS32*>(base_ + kNtOffset);
}

IMAGE_SECTION_HEADER& TestImage::AddSection(const char* name, uint32_t rva, uint32_t size,
                                            uint32_t characteristics) {
  IMAGE_NT_HEADERS32& headers = nt();
  auto* table = reinterpret_cast<IMAGE_SECTION_HEADER*>(
      base_ + kNtOffset + 24 + headers.FileHeader.SizeOfOptionalHeader);
  IMAGE_SECTION_HEADER& section = table[headers.FileHeader.NumberOfSections++];
  memset(&section, 0, sizeof(section));
  memcpy(section.Name, name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
  section.VirtualAddress = rva;
  section.Misc.VirtualSize = size;
  section.SizeOfRawData = size;
  section.Characteristics = characteristics;
  return section;
}

uint32_t TestImage::WriteSignature(uint32_t rva, const SignatureSpec& signature, SignatureForm form) {
  const bool alternative = form == SignatureForm::kAlternative && signature.alternative != nullptr;
  const uint8_t* bytes = alternative ? signature.alternative : signature.pattern;
  const char* mask = alternative ? signature.alternativeMask : signature.mask;
  const uint32_t length = alternative ? signature.alternativeLength : signature.patternLength;
  for (uint32_t i = 0; i < length; ++i) base_[rva + i] = mask[i] == 'x' ? bytes[i] : 0x90;
  return length;
}

uint32_t TestImage::WriteAllSignatures(uint32_t rva, SignatureForm form) {
  const SignatureSpec* table = SignatureTable();
  for (uint32_t i = 0; i < kSignatureCount; ++i) {
    rva = AlignUp(rva, 16);
    signatureAddress_[i] = reinterpret_cast<uintptr_t>(base_ + rva);
    rva += WriteSignature(rva, table[i], form);
    base_[rva++] = 0xCC;
  }
  return rva;
}

void TestImage::WriteImports(uint32_t rva, const std::vector<ImportEntry>& entries,
                             bool withTerminator) {
  std::vector<std::string> libraries;
  for (const ImportEntry& entry : entries) {
    bool known = false;
    for (const std::string& library : libraries) known = known || library == entry.library;
    if (!known) libraries.push_back(entry.library);
  }
  memset(base_ + rva, 0, kImportAreaSize);  // a rewrite leaves nothing of the previous table
  const uint32_t descriptorBytes = static_cast<uint32_t>((libraries.size() + 1) * 20);
  uint32_t cursor = AlignUp(rva + descriptorBytes, 16);
  placed_.clear();
  for (size_t l = 0; l < libraries.size(); ++l) {
    std::vector<const ImportEntry*> own;
    for (const ImportEntry& entry : entries) {
      if (libraries[l] == entry.library) own.push_back(&entry);
    }
    const uint32_t nameThunks = cursor;
    const uint32_t boundThunks = nameThunks + static_cast<uint32_t>((own.size() + 1) * 4);
    cursor = boundThunks + static_cast<uint32_t>((own.size() + 1) * 4);
    for (size_t i = 0; i < own.size(); ++i) {
      uint32_t thunk = 0x80000000u | static_cast<uint32_t>(i + 1);
      if (own[i]->name != nullptr) {
        thunk = cursor;
        memcpy(base_ + cursor + 2, own[i]->name, strlen(own[i]->name) + 1);
        cursor = AlignUp(cursor + 2 + static_cast<uint32_t>(strlen(own[i]->name)) + 1, 2);
        placed_.push_back({own[i]->name, thunk,
                           nameThunks + static_cast<uint32_t>(i * 4),
                           boundThunks + static_cast<uint32_t>(i * 4)});
      }
      memcpy(base_ + nameThunks + i * 4, &thunk, 4);
      const uint32_t bound = static_cast<uint32_t>(own[i]->boundAddress);
      memcpy(base_ + boundThunks + i * 4, &bound, 4);
    }
    const uint32_t libraryName = cursor;
    memcpy(base_ + libraryName, libraries[l].c_str(), libraries[l].size() + 1);
    cursor = AlignUp(cursor + static_cast<uint32_t>(libraries[l].size()) + 1, 4);
    const uint32_t descriptor[5] = {nameThunks, 0, 0, libraryName, boundThunks};
    memcpy(base_ + rva + l * 20, descriptor, sizeof(descriptor));
  }
  IMAGE_DATA_DIRECTORY& directory = nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  directory.VirtualAddress = rva;
  directory.Size = withTerminator ? descriptorBytes : descriptorBytes - 20;
}

const TestImage::PlacedImport& TestImage::Placed(const char* name) const {
  static const PlacedImport kNone{"", 0, 0, 0};
  for (const PlacedImport& entry : placed_) {
    if (strcmp(entry.name, name) == 0) return entry;
  }
  return kNone;
}

void TestImage::Protect(uint32_t rva, uint32_t size, DWORD protection) {
  DWORD previous = 0;
  VirtualProtect(base_ + rva, size, protection, &previous);
}

ImageHeaders TestImage::Headers() const {
  ImageHeaders headers;
  headers.base = base_;
  headers.ntOffset = kNtOffset;
  headers.sizeOfImage = nt().OptionalHeader.SizeOfImage;
  headers.sectionTableOffset = kNtOffset + 24 + nt().FileHeader.SizeOfOptionalHeader;
  headers.numberOfSections = nt().FileHeader.NumberOfSections;
  return headers;
}

std::vector<ImportEntry> StandardHostImports() {
  const auto a = reinterpret_cast<uintptr_t>(&TestImportTargetA);
  const auto b = reinterpret_cast<uintptr_t>(&TestImportTargetB);
  return {
      {"newton.dll", "NewtonBodyCreate", b},
      {"newton.dll", "NewtonBodyGetUserData", a},
      {"SDL2.dll", "SDL_Init", b},
      {"SDL2.dll", "SDL_GetRelativeMouseState", a},
      {"SDL2.dll", "SDL_PumpEvents", b},
      {"SDL2.dll", "SDL_GetTicks", a},
  };
}

void BuildAcceptedHost(TestImage& image, SignatureForm form) {
  image.AddSection(".text", TestImage::kTextRva, TestImage::kTextSize,
                   TestImage::kCodeCharacteristics);
  image.AddSection(".data", TestImage::kDataRva, 0x1000, TestImage::kDataCharacteristics);
  image.AddSection(".idata", TestImage::kImportRva, 0x1000, TestImage::kDataCharacteristics);
  image.WriteAllSignatures(TestImage::kTextRva + 0x40, form);
  image.WriteImports(TestImage::kImportRva, StandardHostImports());
  image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_EXECUTE_READ);
}

}  // namespace driftglass::test
