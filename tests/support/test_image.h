#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "host/image_headers.h"
#include "host/signature_table.h"

namespace driftglass::test {

enum class SignatureForm { kMain, kAlternative };

struct ImportEntry {
  const char* library;
  const char* name;      // null: imported by ordinal
  uintptr_t boundAddress;
};

// A PE32 image laid out in freshly committed memory, as a loader would have mapped it, for tests
// of header validation, signature scanning and import resolution against real pages.
class TestImage {
 public:
  static constexpr uint32_t kSizeOfImage = 0x40000;
  static constexpr uint32_t kNtOffset = 0x80;
  static constexpr uint32_t kTextRva = 0x1000;
  static constexpr uint32_t kTextSize = 0x10000;
  static constexpr uint32_t kDataRva = 0x20000;
  static constexpr uint32_t kImportRva = 0x30000;
  static constexpr uint32_t kImportAreaSize = 0x1000;
  static constexpr uint32_t kCodeCharacteristics = 0x60000020;  // code, execute, read
  static constexpr uint32_t kDataCharacteristics = 0xC0000040;  // data, read, write

  TestImage();
  ~TestImage();
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;

  uint8_t* base() const { return base_; }
  IMAGE_NT_HEADERS32& nt() const;
  IMAGE_SECTION_HEADER& AddSection(const char* name, uint32_t rva, uint32_t size,
                                   uint32_t characteristics);

  // Writes one form of a signature at rva (wildcards filled with 0x90); returns its length.
  uint32_t WriteSignature(uint32_t rva, const SignatureSpec& signature, SignatureForm form);
  // Writes all 26 signatures from rva on, 16-byte aligned with int3 between; returns the end rva.
  uint32_t WriteAllSignatures(uint32_t rva, SignatureForm form);
  uintptr_t SignatureAddress(uint32_t signatureIndex) const { return signatureAddress_[signatureIndex]; }

  // Writes an import directory at rva; withTerminator false leaves the closing descriptor out of
  // the directory's size.
  void WriteImports(uint32_t rva, const std::vector<ImportEntry>& entries, bool withTerminator = true);
  uint32_t ImportNameRva(const char* name) const { return Placed(name).nameRva; }
  uint32_t BoundSlotRva(const char* name) const { return Placed(name).boundSlot; }
  uint32_t NameThunkSlotRva(const char* name) const { return Placed(name).nameThunkSlot; }

  // Protects [rva, rva + size) as given; pages are read-write until then.
  void Protect(uint32_t rva, uint32_t size, DWORD protection);

  ImageHeaders Headers() const;

 private:
  struct PlacedImport {
    const char* name;
    uint32_t nameRva;
    uint32_t nameThunkSlot;
    uint32_t boundSlot;
  };

  const PlacedImport& Placed(const char* name) const;

  uint8_t* base_;
  uintptr_t signatureAddress_[kSignatureCount] = {};
  std::vector<PlacedImport> placed_;
};

// The four imports the plug-in needs, bound to real code in this test executable.
std::vector<ImportEntry> StandardHostImports();

// A host the plug-in accepts: .text with every signature in the given form, imports in place,
// .text protected execute-read.
void BuildAcceptedHost(TestImage& image, SignatureForm form = SignatureForm::kMain);

}  // namespace driftglass::test
