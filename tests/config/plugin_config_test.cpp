#include "config/plugin_config.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "config/key_names.h"
#include "config/profile_text.h"
#include "config/settings_file_watch.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::TempFolder;

// Writes an INI (UTF-16 with a byte-order mark, so the profile functions read any text).
class IniFile {
 public:
  explicit IniFile(const std::wstring& text) : path_(folder_.File(L"Driftglass.ini")) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    test::WriteFileBytes(path_, bytes);
  }
  const std::wstring& path() const { return path_; }

 private:
  TempFolder folder_;
  std::wstring path_;
};

PluginConfigResult Load(const std::wstring& text) {
  IniFile ini(text);
  return LoadPluginConfig(ini.path());
}

std::wstring ErrorOf(const std::wstring& text) { return Load(text).errorText; }

TEST(PluginConfig, MissingFileFailsWithItsPath) {
  TempFolder folder;
  const std::wstring path = folder.File(L"nothing.ini");
  const PluginConfigResult result = LoadPluginConfig(path);
  EXPECT_FALSE(result.succeeded);
  EXPECT_EQ(result.errorText, L"Configuration file not found: " + path);
}

TEST(PluginConfig, EmptyFileOrFolderGivesEveryDefault) {
  TempFolder folder;
  for (const PluginConfigResult& result : {Load(L""), LoadPluginConfig(folder.path())}) {
    ASSERT_TRUE(result.succeeded) << result.errorText;
    EXPECT_TRUE(result.errorText.empty());
    const PluginConfig& c = result.config;
    EXPECT_TRUE(c.enabled);
    EXPECT_TRUE(c.diagnostics);
    EXPECT_TRUE(c.telemetryEnabled);
    EXPECT_FALSE(c.motionTrace);
    EXPECT_EQ(c.reportIntervalSeconds, 5u);
    EXPECT_FALSE(c.features.renderUnlock);
    EXPECT_FALSE(c.features.mouseOverlay);
    EXPECT_TRUE(c.features.ragdollPoseInterpolation);
    EXPECT_EQ(c.targetFps, 0u);
  }
}

TEST(PluginConfig, EveryKeyIsReadFromItsSection) {
  const PluginConfigResult result = Load(
      L"[general]\r\nenabled=no\r\nDiagnostics=OFF\r\n"
      L"[Telemetry]\r\nEnabled=0\r\nMotionTrace=yes\r\nReportIntervalSeconds=60\r\n"
      L"[Features]\r\nRenderUnlock=1\r\nPresentationLimiter=true\r\nCameraInterpolation=on\r\n"
      L"HandsRootInterpolation=TRUE\r\nWorldRootInterpolation=Yes\r\nHandsPoseInterpolation=1\r\n"
      L"WorldPoseInterpolation=1\r\nRagdollPoseInterpolation=false\r\nParticleInterpolation=1\r\n"
      L"ImageTrailTiming=1\r\nMouseOverlay=1\r\n[Timing]\r\nTargetFPS=144\r\n");
  ASSERT_TRUE(result.succeeded) << result.errorText;
  const PluginConfig& c = result.config;
  EXPECT_FALSE(c.enabled);
  EXPECT_FALSE(c.diagnostics);
  EXPECT_FALSE(c.telemetryEnabled);
  EXPECT_TRUE(c.motionTrace);
  EXPECT_EQ(c.reportIntervalSeconds, 60u);
  const FeatureFlags& f = c.features;
  EXPECT_TRUE(f.renderUnlock && f.presentationLimiter && f.cameraInterpolation &&
              f.handsRootInterpolation && f.worldRootInterpolation && f.handsPoseInterpolation &&
              f.worldPoseInterpolation && f.particleInterpolation && f.imageTrailTiming &&
              f.mouseOverlay);
  EXPECT_FALSE(f.ragdollPoseInterpolation);
  EXPECT_EQ(c.targetFps, 144u);
}

TEST(PluginConfig, BooleanSpellings) {
  EXPECT_FALSE(Load(L"[General]\r\nEnabled=  Off  \r\n").config.enabled);
  EXPECT_TRUE(Load(L"[General]\r\nEnabled=\r\n").config.enabled);  // nothing after '=': default
  EXPECT_TRUE(Load(L"[General]\r\nEnabled={7C190868-382E-4A3F-BB29-MISSING}\r\n").config.enabled);
  EXPECT_EQ(ErrorOf(L"[General]\r\nEnabled=2\r\n"), L"Invalid boolean value for [General] Enabled: 2");
  EXPECT_EQ(ErrorOf(L"[Features]\r\nRenderUnlock=maybe\r\n"),
            L"Invalid boolean value for [Features] RenderUnlock: maybe");
  EXPECT_EQ(ErrorOf(L"[Features]\r\nMouseOverlay=\u00FCber\r\n"),
            L"Invalid boolean value for [Features] MouseOverlay: \u00FCber");
}

TEST(PluginConfig, UnsignedValuesAndTheirTexts) {
  EXPECT_EQ(Load(L"[Telemetry]\r\nReportIntervalSeconds=+7\r\n").config.reportIntervalSeconds, 7u);
  EXPECT_EQ(Load(L"[Telemetry]\r\nReportIntervalSeconds=1\r\n").config.reportIntervalSeconds, 1u);
  const std::wstring range = L"Out-of-range value for [Telemetry] ReportIntervalSeconds (expected 1..60): ";
  for (const wchar_t* bad : {L"61", L"0", L"abc", L"5s", L"0x10", L"4294967296", L"99999999999999"}) {
    EXPECT_EQ(ErrorOf(std::wstring(L"[Telemetry]\r\nReportIntervalSeconds=") + bad + L"\r\n"),
              range + bad);
  }
  EXPECT_EQ(ErrorOf(L"[Telemetry]\r\nReportIntervalSeconds=-5\r\n"),
            L"Invalid unsigned value for [Telemetry] ReportIntervalSeconds: -5");
  EXPECT_EQ(ErrorOf(L"[Telemetry]\r\nReportIntervalSeconds=-1\r\n"),
            L"Invalid unsigned value for [Telemetry] ReportIntervalSeconds: -1");
}

TEST(PluginConfig, TargetFpsHasItsOwnTexts) {
  EXPECT_EQ(Load(L"[Timing]\r\nTargetFPS=1000\r\n").config.targetFps, 1000u);
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nTargetFPS=1001\r\n"),
            L"Invalid [Timing] TargetFPS (expected 0..1000): 1001");
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nTargetFPS=fast\r\n"),
            L"Invalid [Timing] TargetFPS (expected 0..1000): fast");
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nTargetFPS=-60\r\n"), L"Invalid [Timing] TargetFPS: -60");
}

TEST(PluginConfig, PhaseDelayPercentIsAnUnsignedShareOfAFrame) {
  EXPECT_EQ(Load(L"").config.phaseDelayPercent, 0u);
  EXPECT_EQ(Load(L"[Timing]\r\nPhaseDelayPercent=55\r\n").config.phaseDelayPercent, 55u) << "a set key keeps its value";
  EXPECT_EQ(Load(L"[Timing]\r\nPhaseDelayPercent=0\r\n").config.phaseDelayPercent, 0u);
  EXPECT_EQ(Load(L"[Timing]\r\nPhaseDelayPercent=100\r\n").config.phaseDelayPercent, 100u);
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nPhaseDelayPercent=101\r\n"),
            L"Out-of-range value for [Timing] PhaseDelayPercent (expected 0..100): 101");
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nPhaseDelayPercent=half\r\n"),
            L"Out-of-range value for [Timing] PhaseDelayPercent (expected 0..100): half");
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nPhaseDelayPercent=-5\r\n"),
            L"Invalid unsigned value for [Timing] PhaseDelayPercent: -5");
  // Read after every other key: an earlier invalid key is still the one reported.
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nPhaseDelayPercent=x\r\nTargetFPS=x\r\n"),
            L"Invalid [Timing] TargetFPS (expected 0..1000): x");
}

TEST(PluginConfig, CompareKeyNamesAKeyOrNone) {
  const struct {
    const wchar_t* value;
    uint32_t key;
  } accepted[] = {{L"F9", VK_F9},     {L" f9 ", VK_F9},          {L"F24", VK_F24},        {L"F1", VK_F1},
                  {L"k", 'K'},        {L"7", '7'},               {L"Numpad5", VK_NUMPAD5}, {L"PAUSE", VK_PAUSE},
                  {L"PageUp", VK_PRIOR}, {L"ScrollLock", VK_SCROLL}, {L"", 0}};
  for (const auto& a : accepted) {
    SCOPED_TRACE(a.value);
    EXPECT_EQ(Load(std::wstring(L"[General]\r\nCompareKey=") + a.value + L"\r\n").config.compareKey, a.key);
  }
  EXPECT_EQ(Load(L"").config.compareKey, 0u) << "no key unless named";
  for (const wchar_t* bad : {L"F0", L"F25", L"F09", L"F9x", L"Numpad10", L"Ctrl", L"PageUpX", L"0x78", L"KK"}) {
    EXPECT_EQ(ErrorOf(std::wstring(L"[General]\r\nCompareKey=") + bad + L"\r\n"),
              std::wstring(L"Invalid key name for [General] CompareKey: ") + bad +
                  L" (expected a key such as F9, Pause, Insert, K or Numpad5; nothing for no key)");
  }
  wchar_t name[16];
  for (const wchar_t* spelled : {L"F9", L"F24", L"K", L"7", L"Numpad5", L"Pause", L"PageDown", L"NumpadAdd"}) {
    FormatKeyName(VirtualKeyOfName(spelled), name, 16);
    EXPECT_STREQ(name, spelled);
  }
}

TEST(PluginConfig, FirstInvalidKeyInTableOrderIsReported) {
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nTargetFPS=x\r\n[Features]\r\nMouseOverlay=x\r\nRenderUnlock=x\r\n"
                    L"[Telemetry]\r\nReportIntervalSeconds=0\r\n"),
            L"Out-of-range value for [Telemetry] ReportIntervalSeconds (expected 1..60): 0");
}

// A value that fills the read buffer may have been cut short, so it is never accepted.
TEST(PluginConfig, ValuesThatFillTheBufferAreRejected) {
  const std::wstring longTrue = L"1" + std::wstring(200, L' ') + L"x";
  const PluginConfigResult truncated = Load(L"[General]\r\nEnabled=" + longTrue + L"\r\n");
  EXPECT_FALSE(truncated.succeeded);
  EXPECT_EQ(truncated.errorText.rfind(L"Invalid boolean value for [General] Enabled: 1", 0), 0u);

  const std::wstring zeros = std::wstring(130, L'0') + L"5";
  EXPECT_EQ(ErrorOf(L"[Telemetry]\r\nReportIntervalSeconds=" + zeros + L"\r\n")
                .rfind(L"Out-of-range value for [Telemetry] ReportIntervalSeconds (expected 1..60): 000", 0),
            0u);
  EXPECT_EQ(ErrorOf(L"[Timing]\r\nTargetFPS=" + zeros + L"\r\n")
                .rfind(L"Invalid [Timing] TargetFPS (expected 0..1000): 000", 0),
            0u);
  const std::wstring huge(200, L'9');  // above 4294967295 whatever the cut
  EXPECT_EQ(ErrorOf(L"[Telemetry]\r\nReportIntervalSeconds=" + huge + L"\r\n")
                .rfind(L"Out-of-range value for [Telemetry] ReportIntervalSeconds (expected 1..60): 999", 0),
            0u);
  // Just below the limit the value is read whole.
  const std::wstring padded = std::wstring(125, L'0') + L"7";
  EXPECT_EQ(Load(L"[Telemetry]\r\nReportIntervalSeconds=" + padded + L"\r\n").config.reportIntervalSeconds,
            7u);
}

TEST(NormalizeSettingText, TrimsWhiteSpaceAndLowerCases) {
  EXPECT_EQ(NormalizeSettingText(L" \t TrUe \r\n"), L"true");
  EXPECT_EQ(NormalizeSettingText(L"   "), L"");
  EXPECT_EQ(NormalizeSettingText(L"A b"), L"a b");
}

}  // namespace
}  // namespace driftglass

namespace driftglass {
namespace {

// A seeded mix of what INI files hold, well-formed or not: sections and keys in any case, with
// blanks and quotes, repeated, cut off, long values, comments, lines without '=', every line end
// and every byte-order mark.
class IniMaker {
 public:
  explicit IniMaker(uint32_t seed) : random_(seed) {}

  std::string Make() {
    std::wstring text;
    const wchar_t* end = Pick({L"\r\n", L"\n", L"\r\n", L"\r"});
    const int lines = Below(24);
    for (int i = 0; i < lines; ++i) text += Line() + (Below(12) == 0 ? Pick({L"\n", L"\r\n", L""}) : end);
    return Encode(text);
  }

 private:
  int Below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  const wchar_t* Pick(std::initializer_list<const wchar_t*> choices) {
    return choices.begin()[Below(static_cast<int>(choices.size()))];
  }
  std::wstring Cased(const std::wstring& name) {
    std::wstring out = name;
    const int how = Below(4);
    for (wchar_t& c : out) {
      if (how == 1) c = static_cast<wchar_t>(towupper(c));
      if (how == 2) c = static_cast<wchar_t>(towlower(c));
      if (how == 3 && Below(2) == 0) c = static_cast<wchar_t>(towupper(c));
    }
    return out;
  }
  std::wstring Blanks() { return Pick({L"", L"", L"", L" ", L"\t", L"  \t", L"\x1a", L"\x0b"}); }
  std::wstring Value() {
    switch (Below(14)) {
      case 0: return Pick({L"1", L"0", L"true", L"off", L"YES", L" On ", L"maybe", L"2"});
      case 1: return Pick({L"5", L"+7", L"60", L"61", L"0", L"-1", L"0x10", L"4294967296", L"1000", L"1001"});
      case 2: return Pick({L"F9", L"f24", L"Numpad5", L"none", L"PageUp", L"F99", L"Ctrl", L"k"});
      case 3: return std::wstring(L"\"") + Pick({L"1", L"F9", L"55", L"x"}) + L"\"";
      case 4: return std::wstring(L"'") + Pick({L"0", L"Pause", L"100"}) + Pick({L"'", L"\"", L""});
      case 5: return Pick({L"\"", L"'", L"\"\"", L"''", L"\" 1 \""});
      case 6: return std::wstring(static_cast<size_t>(120 + Below(16)), L'0') + Pick({L"7", L"1"});
      case 7: return L"\"" + std::wstring(static_cast<size_t>(124 + Below(6)), L'1') + L"\"";
      case 8: return L"\u00FCber";
      case 9: return Pick({L"1 ; not a comment", L"=1", L"1=0", L"\t9\t"});
      case 10: return L"";
      default: return Pick({L"1", L"0", L"true", L"false", L"50", L"F9", L"20"});
    }
  }
  std::wstring Line() {
    static const wchar_t* const kSections[] = {L"General", L"Telemetry", L"Features", L"Timing"};
    switch (Below(10)) {
      case 0:
      case 1: return Blanks() + L"[" + Cased(kSections[Below(4)]) + L"]" + Blanks();
      case 2:
        return Pick({L"[ General ]", L"[Features", L"[Timing]x", L"[]", L"[[Features]]", L"[Features]]",
                     L"x[Features]", L"[Telemetry] ; note"});
      case 3: return Pick({L"", L";Enabled=0", L"# RenderUnlock=1", L"RenderUnlock", L"=1", L"  "});
      default: {
        const SettingDeclaration& s = kSettings[Below(kSettingCount)];
        const std::wstring name = Below(20) == 0 ? std::wstring(s.name) + L"x" : Cased(s.name);
        return Blanks() + name + Blanks() + L"=" + Blanks() + Value() + Blanks();
      }
    }
  }
  std::string Encode(const std::wstring& text) {
    std::string bytes;
    switch (Below(6)) {
      case 0:
      case 1:
        bytes = "\xFF\xFE";
        for (wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        return bytes;
      case 2:
        bytes = "\xFE\xFF";
        for (wchar_t c : text) bytes += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
        return bytes;
      case 3: bytes = "\xEF\xBB\xBF"; [[fallthrough]];
      case 4: return bytes + test::ToUtf8(text);
      default:
        for (wchar_t c : text) bytes.push_back(static_cast<char>(c < 0x80 ? c : '?'));
        return bytes;
    }
  }

  std::mt19937 random_;
};

std::string Escaped(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
    out += hex;
  }
  return out;
}

// The settings watcher reads a content it already holds: every key comes out as the start-up's
// reading of the same file through the profile functions has it, value, cut and verdict alike.
TEST(PluginConfig, AContentInMemoryReadsAsTheProfileFunctionsReadTheFile) {
  TempFolder folder;
  IniMaker maker(20261208);
  int refused = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::string bytes = maker.Make();
    // A new name each time: the profile functions keep files they have read.
    const std::wstring path = folder.File(L"case" + std::to_wstring(i) + L".ini");
    test::WriteFileBytes(path, bytes);
    const ProfileText text(bytes, ProfileFunctionsReadUtf8Signature());
    SCOPED_TRACE(Escaped(bytes));
    for (const SettingDeclaration& s : kSettings) {
      const ProfileValue file = ReadProfileValue(path, s.section, s.name);
      const ProfileValue memory = ReadProfileValue(text, s.section, s.name);
      ASSERT_EQ(file.present, memory.present) << test::ToUtf8(s.name);
      ASSERT_EQ(file.truncated, memory.truncated) << test::ToUtf8(s.name);
      ASSERT_EQ(file.raw, memory.raw) << test::ToUtf8(s.name);
    }
    const PluginConfigResult fromFile = LoadPluginConfig(path);
    const PluginConfigResult fromMemory = ParsePluginConfig(text);
    ASSERT_EQ(fromFile.succeeded, fromMemory.succeeded);
    ASSERT_EQ(fromFile.errorText, fromMemory.errorText);
    for (const SettingDeclaration& s : kSettings) {
      ASSERT_EQ(SettingValue(fromFile.config, s.key), SettingValue(fromMemory.config, s.key));
    }
    refused += fromFile.succeeded ? 0 : 1;
    DeleteFileW(path.c_str());
  }
  // Both kinds of file were made.
  EXPECT_GT(refused, 100);
  EXPECT_LT(refused, 900);
}

// Windows' profile functions take a UTF-8 mark for three characters of the code page: the first
// line's section is then no section.
TEST(PluginConfig, AUtf8MarkIsReadAsThePlatformReadsIt) {
  const std::string bytes = "\xEF\xBB\xBF[Features]\r\nRenderUnlock=1\r\n";
  EXPECT_TRUE(ParsePluginConfig(ProfileText(bytes, true)).config.features.renderUnlock);
  EXPECT_FALSE(ParsePluginConfig(ProfileText(bytes, false)).config.features.renderUnlock);
}

}  // namespace
}  // namespace driftglass
