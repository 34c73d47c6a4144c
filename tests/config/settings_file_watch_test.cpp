#include "config/settings_file_watch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings_change.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::TempFolder;

// Each step writes (or deletes) the file, then looks once; the outcomes follow.
TEST(SettingsFileWatch, TakesAContentOnlyOnceTwoLooksAgree) {
  struct Step {
    const char* write;  // nullptr: leave the file; "-": delete it
    SettingsLook outcome;
    uint32_t targetFps;  // when read
  };
  const char kFirst[] = "[Timing]\r\nTargetFPS=100\r\n";
  const char kHalf[] = "[Timing]\r\nTarg";  // an editor's save cut short: a valid file of defaults
  const char kSecond[] = "[Timing]\r\nTargetFPS=50\r\n";
  const char kBad[] = "[Timing]\r\nTargetFPS=5000\r\n";
  const std::vector<Step> steps = {
      // The first content is new: the start-up's reading may be older than it.
      {nullptr, SettingsLook::kSettling, 0},      {nullptr, SettingsLook::kRead, 100},
      {nullptr, SettingsLook::kUnchanged, 0},     {kHalf, SettingsLook::kSettling, 0},
      {kSecond, SettingsLook::kSettling, 0},      {nullptr, SettingsLook::kRead, 50},
      {nullptr, SettingsLook::kUnchanged, 0},     {kFirst, SettingsLook::kSettling, 0},
      {kFirst, SettingsLook::kRead, 100},         {kBad, SettingsLook::kSettling, 0},
      {nullptr, SettingsLook::kRejected, 0},      {nullptr, SettingsLook::kUnchanged, 0},
      {"-", SettingsLook::kSettling, 0},          {nullptr, SettingsLook::kMissing, 0},
      {nullptr, SettingsLook::kUnchanged, 0},     {kSecond, SettingsLook::kSettling, 0},
      {nullptr, SettingsLook::kRead, 50},
  };
  TempFolder folder;
  const std::wstring path = folder.File(L"Driftglass.ini");
  test::WriteFileBytes(path, kFirst);
  SettingsFileWatch watch(path);
  for (size_t i = 0; i < steps.size(); ++i) {
    if (steps[i].write != nullptr && std::string(steps[i].write) == "-") {
      ASSERT_TRUE(DeleteFileW(path.c_str()));
    } else if (steps[i].write != nullptr) {
      test::WriteFileBytes(path, steps[i].write);
    }
    const SettingsLookResult look = watch.Look();
    ASSERT_EQ(look.outcome, steps[i].outcome) << "step " << i;
    if (look.outcome == SettingsLook::kRead) {
      EXPECT_EQ(look.config.targetFps, steps[i].targetFps) << "step " << i;
    }
    if (look.outcome == SettingsLook::kRejected) {
      EXPECT_EQ(look.errorText, L"Invalid [Timing] TargetFPS (expected 0..1000): 5000") << "step " << i;
    }
    if (look.outcome == SettingsLook::kMissing) {
      EXPECT_EQ(look.errorText, L"Configuration file not found: " + path) << "step " << i;
    }
  }
}

TEST(SettingsChange, NamesEachChangedKeyWithItsOldAndNewValueInFileOrder) {
  PluginConfig before;
  before.features.renderUnlock = true;
  before.features.particleInterpolation = true;
  before.compareKey = VK_F9;
  PluginConfig after = before;
  EXPECT_EQ(ChangedSettings(before, after), 0u);
  after.targetFps = 141;
  after.features.particleInterpolation = false;
  after.compareKey = 0;
  after.telemetryEnabled = false;
  const SettingKeys changed = ChangedSettings(before, after);
  EXPECT_EQ(changed, SettingBit(kSettingTargetFps) | SettingBit(kSettingParticleInterpolation) |
                         SettingBit(kSettingCompareKey) | SettingBit(kSettingTelemetryEnabled));
  EXPECT_EQ(DescribeSettings(changed, before, after),
            L"CompareKey F9 -> none, [Telemetry] Enabled true -> false, ParticleInterpolation true -> false, "
            L"TargetFPS 0 -> 141");
  const PluginConfig mixed = WithSettings(before, SettingBit(kSettingTargetFps), after);
  EXPECT_EQ(ChangedSettings(before, mixed), SettingBit(kSettingTargetFps));
}

}  // namespace
}  // namespace driftglass
