#include "host/import_resolution.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/build_paths.h"
#include "support/test_image.h"

namespace driftglass {
namespace {

using test::ImportEntry;
using test::TestImage;

constexpr uint32_t kImports = TestImage::kImportRva;

struct Resolution {
  bool ok;
  uintptr_t address;
  std::wstring error;
};

Resolution Resolve(const TestImage& image, const char* name) {
  Resolution result{false, 0, L""};
  const std::wstring wide(name, name + strlen(name));
  result.ok = ResolveNamedImport(image.Headers(), name, wide.c_str(), result.address, result.error);
  return result;
}

extern "C" __attribute__((noinline)) void ImportTestTarget() { asm volatile(""); }
const uintptr_t kCode = reinterpret_cast<uintptr_t>(&ImportTestTarget);

TEST(ImportResolution, ReturnsTheBoundAddressOfTheOneNamedImport) {
  TestImage image;
  image.WriteImports(kImports, {{"a.dll", "Other", kCode}, {"b.dll", "SDL_GetTicks", kCode}});
  const Resolution r = Resolve(image, "SDL_GetTicks");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.address, kCode);
}

TEST(ImportResolution, CountsByNameOnlyAcrossEveryLibrary) {
  TestImage image;
  image.WriteImports(kImports, {{"SDL2.dll", nullptr, kCode}, {"SDL2.dll", "SDL_PumpEvents", kCode}});
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, L"SDL_GetTicks: expected one named import, found 0");

  image.WriteImports(kImports, {{"a.dll", "SDL_GetTicks", kCode}, {"b.dll", "SDL_GetTicks", kCode}});
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, L"SDL_GetTicks: expected one named import, found 2");

  // Names are compared exactly, byte for byte.
  image.WriteImports(kImports, {{"a.dll", "SDL_GetTicks64", kCode}, {"a.dll", "sdl_getticks", kCode}});
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, L"SDL_GetTicks: expected one named import, found 0");
}

TEST(ImportResolution, DirectoryEndingBeforeItsTerminatorStillResolves) {
  TestImage image;
  image.WriteImports(kImports, {{"a.dll", "x", kCode}, {"b.dll", "SDL_GetTicks", kCode}},
                     /*withTerminator=*/false);
  EXPECT_TRUE(Resolve(image, "SDL_GetTicks").ok);
}

TEST(ImportResolution, RejectsAnInvalidDirectory) {
  const wchar_t* invalid = L"SDL_GetTicks: executable import directory is invalid";
  TestImage image;
  image.WriteImports(kImports, {{"a.dll", "SDL_GetTicks", kCode}});
  IMAGE_DATA_DIRECTORY& directory =
      image.nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  directory.Size = 19;
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, invalid);
  directory.Size = 40;
  directory.VirtualAddress = 0;
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, invalid);
  directory.VirtualAddress = TestImage::kSizeOfImage - 20;
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, invalid);
  directory.VirtualAddress = kImports;
  image.Protect(kImports, 0x1000, PAGE_NOACCESS);
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, invalid);
}

TEST(ImportResolution, RejectsThunksAndNamesOutsideTheImage) {
  {
    // The thunk array runs off the image after the wanted name was already found.
    TestImage image;
    image.WriteImports(kImports, {{"a.dll", "SDL_GetTicks", kCode}, {"a.dll", "Later", kCode}});
    const uint32_t end = TestImage::kSizeOfImage - 4;
    const uint32_t nameThunk = image.ImportNameRva("SDL_GetTicks");
    memcpy(image.base() + end, &nameThunk, 4);  // one valid name at the last slot, then the end
    const uint32_t descriptor[5] = {end, 0, 0, 0x10, image.BoundSlotRva("SDL_GetTicks")};
    memcpy(image.base() + kImports, descriptor, sizeof(descriptor));
    EXPECT_EQ(Resolve(image, "SDL_GetTicks").error,
              L"SDL_GetTicks: import thunk lies outside the image");
  }
  {
    TestImage image;
    image.WriteImports(kImports, {{"a.dll", "SDL_GetTicks", kCode}});
    const uint32_t outside = TestImage::kSizeOfImage - 2;
    memcpy(image.base() + image.NameThunkSlotRva("SDL_GetTicks"), &outside, 4);
    EXPECT_EQ(Resolve(image, "SDL_GetTicks").error,
              L"SDL_GetTicks: import name lies outside the image");
  }
  {
    // A name running up to the image's last byte without its terminating zero.
    TestImage image;
    image.WriteImports(kImports, {{"a.dll", "SDL_GetTicks", kCode}});
    const uint32_t hint = TestImage::kSizeOfImage - 16;
    memset(image.base() + hint, 'A', 16);
    memcpy(image.base() + image.NameThunkSlotRva("SDL_GetTicks"), &hint, 4);
    EXPECT_EQ(Resolve(image, "SDL_GetTicks").error, L"SDL_GetTicks: unterminated import name");
  }
}

TEST(ImportResolution, ResolvedTargetMustBeCommittedExecutableCode) {
  TestImage image;
  static uint32_t dataNotCode = 0;
  image.WriteImports(kImports, {{"a.dll", "SDL_GetTicks", reinterpret_cast<uintptr_t>(&dataNotCode)},
                                {"a.dll", "SDL_PumpEvents", 0}});
  EXPECT_EQ(Resolve(image, "SDL_GetTicks").error,
            L"SDL_GetTicks: resolved import target is not executable");
  EXPECT_EQ(Resolve(image, "SDL_PumpEvents").error,
            L"SDL_PumpEvents: resolved import target is not executable");
}

TEST(SdlRelativeMouseMode, FoundInTheModuleOfTheResolvedStateFunction) {
  HMODULE sdl = LoadLibraryW(DRIFTGLASS_BUILD_DIR L"\\simhost\\SDL2.dll");
  ASSERT_NE(sdl, nullptr);
  const auto state = reinterpret_cast<uintptr_t>(GetProcAddress(sdl, "SDL_GetRelativeMouseState"));
  uintptr_t mode = 0;
  std::wstring error;
  ASSERT_TRUE(FindSdlGetRelativeMouseMode(state, mode, error)) << error;
  EXPECT_EQ(mode, reinterpret_cast<uintptr_t>(GetProcAddress(sdl, "SDL_GetRelativeMouseMode")));

  // kernel32 holds no such function; an address in no module at all has no module.
  const auto kernel = reinterpret_cast<uintptr_t>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
  EXPECT_FALSE(FindSdlGetRelativeMouseMode(kernel, mode, error));
  EXPECT_EQ(error, L"SDL_GetRelativeMouseMode is unavailable for GUI mouse-mode detection");
  void* loose = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
  EXPECT_FALSE(FindSdlGetRelativeMouseMode(reinterpret_cast<uintptr_t>(loose), mode, error));
  EXPECT_EQ(error, L"Could not identify the SDL2 module for GUI mouse-mode detection");
  VirtualFree(loose, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace driftglass
