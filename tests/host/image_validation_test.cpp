#include "host/image_validation.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/signature_table.h"
#include "support/test_image.h"

namespace driftglass {
namespace {

using test::BuildAcceptedHost;
using test::SignatureForm;
using test::TestImage;

std::wstring Validate(const void* base, EngineMappings* out = nullptr) {
  EngineMappings mappings;
  std::wstring error;
  const bool ok = ValidateHostAndResolve(base, mappings, error);
  if (out != nullptr) *out = mappings;
  return ok ? L"ok" : error;
}

uint32_t SignatureIndexOf(const wchar_t* name) {
  for (uint32_t i = 0; i < kSignatureCount; ++i) {
    if (wcscmp(SignatureTable()[i].name, name) == 0) return i;
  }
  return kSignatureCount;
}

TEST(ImageValidation, AcceptsEitherFormAndMapsEveryEntry) {
  for (SignatureForm form : {SignatureForm::kMain, SignatureForm::kAlternative}) {
    TestImage image;
    BuildAcceptedHost(image, form);
    EngineMappings mappings;
    ASSERT_EQ(Validate(image.base(), &mappings), L"ok");
    for (uint32_t i = 0; i < kSignatureCount; ++i) {
      EXPECT_EQ(mappings.address[SignatureTable()[i].mapping], image.SignatureAddress(i))
          << SignatureTable()[i].name;
    }
    for (uint32_t index : {kNewtonBodyGetUserData, kSdlGetRelativeMouseState, kSdlPumpEvents,
                           kSdlGetTicks}) {
      EXPECT_NE(mappings.address[index], 0u) << EngineMappingName(index);
    }
  }
}

TEST(ImageValidation, RejectsBrokenHeadersWithTheirTexts) {
  EXPECT_EQ(Validate(nullptr), L"Main executable module is unavailable");
  {
    TestImage image;
    BuildAcceptedHost(image);
    image.base()[1] = 'X';
    EXPECT_EQ(Validate(image.base()), L"Invalid DOS header in main executable mapping");
  }
  {
    TestImage image;
    BuildAcceptedHost(image);
    image.nt().Signature = 0x4551;
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
  {
    TestImage image;
    BuildAcceptedHost(image);
    image.nt().OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
}

// A truncated or hostile mapping must be refused without reading outside what it maps.
TEST(ImageValidation, RejectsHeadersOutsideTheImageOrUnreadable) {
  const auto nullHeaderOffset = [](TestImage& image, uint32_t offset) {
    reinterpret_cast<IMAGE_DOS_HEADER*>(image.base())->e_lfanew = static_cast<LONG>(offset);
  };
  {
    TestImage image;
    BuildAcceptedHost(image);
    nullHeaderOffset(image, 0x7FFFFFF0);
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
  {
    TestImage image;
    BuildAcceptedHost(image);
    nullHeaderOffset(image, 0xFFFFFFF0);  // wraps the 32-bit address space
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
  {
    // NT headers that start inside the last mapped page and run past the allocation.
    TestImage image;
    BuildAcceptedHost(image);
    const uint32_t nearEnd = TestImage::kSizeOfImage - 64;
    memcpy(image.base() + nearEnd, &image.nt(), 64);
    nullHeaderOffset(image, nearEnd);
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
  {
    // Readable headers that claim an image smaller than the headers themselves.
    TestImage image;
    BuildAcceptedHost(image);
    image.nt().OptionalHeader.SizeOfImage = TestImage::kNtOffset + 100;
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
  {
    TestImage image;
    BuildAcceptedHost(image);
    image.nt().FileHeader.NumberOfSections = 0xFFFF;
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
  {
    // The section table lies inside SizeOfImage but its page was made inaccessible.
    TestImage image;
    BuildAcceptedHost(image);
    image.nt().FileHeader.SizeOfOptionalHeader = 0x1000 - TestImage::kNtOffset - 24 + 0x1000;
    image.Protect(0x2000, 0x1000, PAGE_NOACCESS);
    EXPECT_EQ(Validate(image.base()), L"Invalid PE32 header in main executable mapping");
  }
}

TEST(ImageValidation, TextSectionMustBeExecutableInsideAndReadable) {
  {
    TestImage image;
    BuildAcceptedHost(image);
    memcpy(reinterpret_cast<IMAGE_SECTION_HEADER*>(image.base() + image.Headers().sectionTableOffset)
               ->Name,
           ".code\0\0", 8);
    EXPECT_EQ(Validate(image.base()), L"Executable .text section was not found");
  }
  {
    // Without the execute characteristic .text fails even though a later section executes.
    TestImage image;
    image.AddSection(".text", TestImage::kTextRva, TestImage::kTextSize,
                     TestImage::kDataCharacteristics);
    image.AddSection(".text2", TestImage::kDataRva, 0x1000, TestImage::kCodeCharacteristics);
    image.WriteAllSignatures(TestImage::kTextRva, SignatureForm::kMain);
    image.WriteImports(TestImage::kImportRva, test::StandardHostImports());
    EXPECT_EQ(Validate(image.base()), L"Executable .text section was not found");
  }
  {
    TestImage image;
    BuildAcceptedHost(image);
    auto* text = reinterpret_cast<IMAGE_SECTION_HEADER*>(image.base() +
                                                         image.Headers().sectionTableOffset);
    text->Misc.VirtualSize = TestImage::kSizeOfImage;  // runs past the image's end
    EXPECT_EQ(Validate(image.base()), L"Executable .text section was not found");
  }
  {
    // Another tool re-protected one page in the middle of .text.
    TestImage image;
    BuildAcceptedHost(image);
    image.Protect(TestImage::kTextRva + 0x8000, 0x1000, PAGE_NOACCESS);
    EXPECT_EQ(Validate(image.base()), L"Executable .text section was not found");
  }
  {
    TestImage image;
    BuildAcceptedHost(image);
    image.Protect(TestImage::kTextRva + 0x8000, 0x1000, PAGE_EXECUTE_READ | PAGE_GUARD);
    EXPECT_EQ(Validate(image.base()), L"Executable .text section was not found");
  }
}

TEST(ImageValidation, TextBssBeforeTextIsTheScannedSection) {
  TestImage image;
  image.AddSection(".textbss", TestImage::kDataRva, 0x1000, TestImage::kCodeCharacteristics);
  image.AddSection(".text", TestImage::kTextRva, TestImage::kTextSize,
                   TestImage::kCodeCharacteristics);
  image.WriteAllSignatures(TestImage::kTextRva, SignatureForm::kMain);
  image.WriteImports(TestImage::kImportRva, test::StandardHostImports());
  image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_EXECUTE_READ);
  image.Protect(TestImage::kDataRva, 0x1000, PAGE_EXECUTE_READ);
  // The signatures sit in .text, which is never looked at.
  EXPECT_EQ(Validate(image.base()), L"cEngine::Run: expected one signature match, found 0");
}

TEST(ImageValidation, CountsMatchesPerFunction) {
  {
    TestImage image;
    BuildAcceptedHost(image);
    image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_READWRITE);
    const uint32_t render = SignatureIndexOf(L"cScene::Render");
    memset(reinterpret_cast<uint8_t*>(image.SignatureAddress(render)), 0xCC, 8);
    image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_EXECUTE_READ);
    EXPECT_EQ(Validate(image.base()), L"cScene::Render: expected one signature match, found 0");
  }
  {
    // Main and alternative form of the same function both present.
    TestImage image;
    BuildAcceptedHost(image);
    image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_READWRITE);
    const uint32_t enemy = SignatureIndexOf(L"iLuxEnemy::OnUpdate");
    image.WriteSignature(TestImage::kTextRva + 0x9000, SignatureTable()[enemy],
                         SignatureForm::kAlternative);
    image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_EXECUTE_READ);
    EXPECT_EQ(Validate(image.base()), L"iLuxEnemy::OnUpdate: expected one signature match, found 2");
  }
  {
    // Three copies still report two: the scan stops at the second match.
    TestImage image;
    BuildAcceptedHost(image);
    image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_READWRITE);
    const uint32_t parent = SignatureIndexOf(L"iEntity3D::GetEntityParent");
    image.WriteSignature(TestImage::kTextRva + 0x9000, SignatureTable()[parent], SignatureForm::kMain);
    image.WriteSignature(TestImage::kTextRva + 0xA000, SignatureTable()[parent], SignatureForm::kMain);
    image.Protect(TestImage::kTextRva, TestImage::kTextSize, PAGE_EXECUTE_READ);
    EXPECT_EQ(Validate(image.base()),
              L"iEntity3D::GetEntityParent: expected one signature match, found 2");
  }
}

TEST(ImageValidation, UniqueMatchInANonExecutablePageFails) {
  TestImage image;
  BuildAcceptedHost(image);
  // The page holding the first signatures is data, although .text as a whole is code.
  image.Protect(TestImage::kTextRva, 0x1000, PAGE_READONLY);
  EXPECT_EQ(Validate(image.base()), L"cEngine::Run: target address is not executable memory");
}

TEST(ImageValidation, TextSmallerThanASignatureIsReported) {
  TestImage image;
  BuildAcceptedHost(image);
  auto* text =
      reinterpret_cast<IMAGE_SECTION_HEADER*>(image.base() + image.Headers().sectionTableOffset);
  text->Misc.VirtualSize = 63;
  EXPECT_EQ(Validate(image.base()), L"cEngine::Run: .text is smaller than the signature");
}

TEST(ImageValidation, ImportFailureStopsResolutionInTableOrder) {
  TestImage image;
  BuildAcceptedHost(image);
  auto imports = test::StandardHostImports();
  imports.erase(imports.begin() + 4);  // SDL_PumpEvents
  image.WriteImports(TestImage::kImportRva, imports);
  EXPECT_EQ(Validate(image.base()), L"SDL_PumpEvents: expected one named import, found 0");
}

TEST(ScanSignature, CountsMatchesAndHonoursTheMask) {
  const uint8_t region[] = {0x10, 0xAA, 0x20, 0xAB, 0x10, 0xAC, 0x20, 0x10, 0xAD, 0x20};
  const uint8_t pattern[] = {0x10, 0x00, 0x20};
  uint32_t count = 0;
  uintptr_t address = 0;
  ScanSignature(region, sizeof(region), pattern, 3, "x?x", 3, count, address);
  EXPECT_EQ(count, 2u);  // stops before the third copy at offset 7
  EXPECT_EQ(address, reinterpret_cast<uintptr_t>(region + 4));

  count = 0;
  ScanSignature(region, sizeof(region), pattern, 3, std::string(3, 'x').c_str(), 3, count, address);
  EXPECT_EQ(count, 0u);

  count = 0;
  ScanSignature(region + 7, 3, pattern, 3, "x?x", 3, count, address);  // match at the very end
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(address, reinterpret_cast<uintptr_t>(region + 7));

  count = 0;
  ScanSignature(region, 2, pattern, 3, "x?x", 3, count, address);  // region shorter than pattern
  ScanSignature(region, sizeof(region), nullptr, 0, nullptr, 0, count, address);  // no alternative
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace driftglass
