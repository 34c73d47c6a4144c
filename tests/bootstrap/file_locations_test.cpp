#include "bootstrap/file_locations.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_files.h"

namespace driftglass {
namespace {

TEST(MakeSiblingPath, ReplacesOnlyTheFileNamesLastExtension) {
  EXPECT_EQ(MakeSiblingPath(L"D:\\Game\\Driftglass.dll", L".ini"), L"D:\\Game\\Driftglass.ini");
  EXPECT_EQ(MakeSiblingPath(L"D:\\Game\\Driftglass.dll", L".log"), L"D:\\Game\\Driftglass.log");
  EXPECT_EQ(MakeSiblingPath(L"D:\\Game\\Driftglass.dll", L".motion.csv"),
            L"D:\\Game\\Driftglass.motion.csv");
  EXPECT_EQ(MakeSiblingPath(L"D:\\Game\\x.y.dll", L".ini"), L"D:\\Game\\x.y.ini");
  EXPECT_EQ(MakeSiblingPath(L"D:\\a.b\\plugin", L".ini"), L"D:\\a.b\\plugin.ini");
  EXPECT_EQ(MakeSiblingPath(L"D:/a.b/plugin", L".ini"), L"D:/a.b/plugin.ini");
  EXPECT_EQ(MakeSiblingPath(L"D:/a.b/plugin.asi", L".ini"), L"D:/a.b/plugin.ini");
  EXPECT_EQ(MakeSiblingPath(L"plugin.dll", L".ini"), L"plugin.ini");
  EXPECT_EQ(MakeSiblingPath(L"plugin", L".ini"), L"plugin.ini");
  // A recording started while the game runs.
  EXPECT_EQ(NumberedTracePath(L"D:\\Game\\Driftglass.motion.csv", 1), L"D:\\Game\\Driftglass.motion.csv");
  EXPECT_EQ(NumberedTracePath(L"D:\\Game\\Driftglass.motion.csv", 2), L"D:\\Game\\Driftglass.motion.2.csv");
  EXPECT_EQ(NumberedTracePath(L"D:\\a.b\\trace", 12), L"D:\\a.b\\trace.12");
}

// Behaves like GetModuleFileNameW for a module whose path has gLength characters: a buffer that
// cannot hold the path and its terminator gets a cut path and the full capacity as the answer.
size_t gLength = 0;
std::vector<DWORD> gCapacities;

DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD capacity) {
  gCapacities.push_back(capacity);
  if (gLength == 0) return 0;
  const size_t copied = gLength < capacity ? gLength : capacity - 1;
  for (size_t i = 0; i < copied; ++i) buffer[i] = static_cast<wchar_t>(L'a' + i % 26);
  buffer[copied] = L'\0';
  return gLength < capacity ? static_cast<DWORD>(gLength) : capacity;
}

std::wstring PathOfLength(size_t length) {
  gLength = length;
  gCapacities.clear();
  return GetModulePath(nullptr, &FakeModuleFileName);
}

TEST(GetModulePath, GrowsTheBufferUntilThePathFitsWithRoomToSpare) {
  EXPECT_EQ(PathOfLength(510).size(), 510u);
  EXPECT_EQ(gCapacities, std::vector<DWORD>{512});

  // 511 characters fill the first buffer exactly, so the answer is not trusted until the second.
  EXPECT_EQ(PathOfLength(511).size(), 511u);
  EXPECT_EQ(gCapacities, (std::vector<DWORD>{512, 1024}));

  EXPECT_EQ(PathOfLength(20000).size(), 20000u);
  EXPECT_EQ(gCapacities, (std::vector<DWORD>{512, 1024, 2048, 4096, 8192, 16384, 32768}));

  EXPECT_TRUE(PathOfLength(32767).empty());
  EXPECT_EQ(gCapacities.back(), 32768u);
  EXPECT_TRUE(PathOfLength(0).empty());
  EXPECT_EQ(gCapacities.size(), 1u);
}

TEST(GetModulePath, RealModules) {
  const std::wstring host = GetModulePath(nullptr);
  ASSERT_GT(host.size(), 4u);
  EXPECT_EQ(host.substr(host.size() - 4), L".exe");
  EXPECT_TRUE(GetModulePath(reinterpret_cast<HMODULE>(0x10)).empty());
}

class LocalAppData {
 public:
  LocalAppData() {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value, 32768);
    had_ = length > 0 && length < 32768;
    if (had_) saved_.assign(value, length);
  }
  ~LocalAppData() { SetEnvironmentVariableW(L"LOCALAPPDATA", had_ ? saved_.c_str() : nullptr); }
  void Set(const wchar_t* value) { SetEnvironmentVariableW(L"LOCALAPPDATA", value); }

 private:
  bool had_ = false;
  std::wstring saved_;
};

TEST(GetFallbackLogPath, CreatesOneFolderUnderLocalAppData) {
  LocalAppData environment;
  test::TempFolder folder;
  environment.Set(folder.path().c_str());
  const std::wstring expected = folder.path() + L"\\Driftglass\\Driftglass.log";
  EXPECT_EQ(GetFallbackLogPath(), expected);
  EXPECT_TRUE(test::FileExists(folder.path() + L"\\Driftglass"));
  EXPECT_EQ(GetFallbackLogPath(), expected);  // the folder already exists

  environment.Set((folder.path() + L"\\missing\\deeper").c_str());
  EXPECT_EQ(GetFallbackLogPath(), L"");
  environment.Set(nullptr);
  EXPECT_EQ(GetFallbackLogPath(), L"");
}

TEST(PluginFileLocations, AllSiblingsOfTheModule) {
  const PluginFileLocations l = DerivePluginFileLocations(L"D:\\Game\\Driftglass.dll");
  EXPECT_EQ(l.modulePath, L"D:\\Game\\Driftglass.dll");
  EXPECT_EQ(l.configPath, L"D:\\Game\\Driftglass.ini");
  EXPECT_EQ(l.logPath, L"D:\\Game\\Driftglass.log");
  EXPECT_EQ(l.motionTracePath, L"D:\\Game\\Driftglass.motion.csv");
}

}  // namespace
}  // namespace driftglass
