#include "frame/presentation_limiter.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/live_settings_apply.h"
#include "log/diagnostic_log.h"
#include "timing/presentation_clock.h"

namespace driftglass {
namespace {

constexpr int64_t kFrequency = 1000000;  // the made-up counter counts microseconds

struct FakeClock final : PacerPlatform {
  int64_t now = 5000000;
  int64_t Now() override { return now; }
  void Sleep(int64_t ticks, int64_t) override { now += ticks; }
  void Pause() override { now += 1; }
};

struct ScriptedDisplay final : DisplayRateSource {
  FrameRate rate;
  uint32_t reads = 0;
  FrameRate ReadDisplayRate() override {
    ++reads;
    return rate;
  }
};

struct CapturedLog {
  DiagnosticLog log;
  std::vector<std::wstring> lines;
  CapturedLog() {
    log.SetDebugOutputSink(
        [](const wchar_t* line, void* self) {
          std::wstring text(line);
          text = text.substr(text.find(L"] [") + 3);  // level and text, without the time
          while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
          static_cast<CapturedLog*>(self)->lines.push_back(text);
        },
        this);
  }
};

const std::wstring kUnreadable =
    L"WARN] Presentation limiter: the display's refresh rate could not be read; no frame is paced until it can "
    L"be (looked at twice a second). Set [Timing] TargetFPS to pace at a rate of your own.";

std::wstring RateLine(const wchar_t* hertz) {
  return std::wstring(L"INFO] Presentation limiter: the display refreshes at ") + hertz + L" Hz; pacing at " +
         hertz + L" frames per second.";
}

// Following the display with TargetFPS 0, 1.6 seconds of frames per step of the script: each
// change of what the display answers is logged once, an unreadable display paces nothing, and the
// display is looked at twice a second whatever the frame rate.
TEST(PresentationLimiter, FollowsTheDisplaysRateAndPacesNothingWhileItCannotBeRead) {
  FakeClock clock;
  ScriptedDisplay display;
  CapturedLog captured;
  PresentationLimiter limiter(clock, display, captured.log);
  limiter.Configure(true, 0, kFrequency);
  const struct {
    const char* what;
    FrameRate display;
    bool paced;
    std::vector<std::wstring> newLines;
  } steps[] = {
      {"unreadable at the start", {}, false, {kUnreadable}},
      {"still unreadable: not logged again", {}, false, {}},
      {"readable at last", {60, 1}, true, {RateLine(L"60")}},
      {"a mode change on the same monitor", {60000, 1001}, true, {RateLine(L"59.94")}},
      {"the same rate, read again", {60000, 1001}, true, {}},
      {"unreadable again", {}, false, {kUnreadable}},
      {"back at 144", {144, 1}, true, {RateLine(L"144")}},
  };
  size_t logged = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    display.rate = step.display;
    const uint32_t readsBefore = display.reads;
    // The change is seen at the next look, at most half a second on; then a second is counted.
    uint32_t paced = 0;
    const int64_t countFrom = clock.now + kFrequency * 6 / 10;
    const int64_t end = countFrom + kFrequency;
    while (clock.now < end) {
      clock.now += 300;  // the game's own work
      const uint32_t frame = limiter.PaceFrame(true).paced;
      if (clock.now > countFrom) paced += frame;
    }
    if (step.paced) {
      const FrameRate& rate = limiter.pacingRate();
      EXPECT_EQ(rate.numerator, step.display.numerator);
      EXPECT_EQ(rate.denominator, step.display.denominator);
      EXPECT_NEAR(paced, static_cast<double>(step.display.numerator) / step.display.denominator, 2.0);
    } else {
      EXPECT_EQ(paced, 0u);
    }
    EXPECT_GE(display.reads - readsBefore, 3u);
    EXPECT_LE(display.reads - readsBefore, 4u);
    ASSERT_EQ(captured.lines.size(), logged + step.newLines.size());
    for (size_t i = 0; i < step.newLines.size(); ++i) EXPECT_EQ(captured.lines[logged + i], step.newLines[i]);
    logged = captured.lines.size();
  }
}

// A fixed TargetFPS never asks the display; nothing is paced while the render unlock is not
// active (the engine refused it) or the limiter is off.
TEST(PresentationLimiter, PacesOnlyWhileOnAndTheRenderUnlockIsActive) {
  const struct {
    const char* what;
    bool on;
    uint32_t targetFps;
    bool unlockActive;
    uint32_t paced;
  } cases[] = {
      {"at TargetFPS", true, 50, true, 50},
      {"the unlock not active", true, 50, false, 0},
      {"off", false, 50, true, 0},
      {"the display's rate, the unlock not active", true, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    ScriptedDisplay display;
    display.rate = {60, 1};
    CapturedLog captured;
    PresentationLimiter limiter(clock, display, captured.log);
    limiter.Configure(c.on, c.targetFps, kFrequency);
    uint32_t paced = 0, frames = 0;
    const int64_t end = clock.now + kFrequency;
    while (clock.now < end) {
      clock.now += 300;
      ++frames;
      paced += limiter.PaceFrame(c.unlockActive).paced;
    }
    EXPECT_NEAR(paced, c.paced, 1.0);
    if (c.paced == 0) {
      EXPECT_GT(frames, 3000u) << "frames that are not paced do not wait";
    }
    EXPECT_EQ(display.reads, 0u);
  }
}

}  // namespace
}  // namespace driftglass

namespace driftglass {
namespace {

// A change of the INI reaches the frame at a tick boundary, the newest set whole, and touches only
// what changed: the limiter following the display keeps its grid, its looks and its lines through a
// change of anything else, the phase reaches the fraction's clock, a key removed brings the
// corrections back.
TEST(LiveSettingsApply, TheNewestSetIsAppliedWholeOnceAndTouchesOnlyWhatChanged) {
  FakeClock clock;
  ScriptedDisplay display;
  display.rate = {100, 1};
  CapturedLog captured;
  PresentationLimiter limiter(clock, display, captured.log);
  FrameFractionClock fraction;
  CompareSwitch compare;
  bool motionTrace = false;
  const LiveSettingsTargets targets{limiter, fraction, compare, motionTrace, kFrequency};
  LiveSettingsMailbox mailbox;
  AppliedSettings applied;
  LiveSettings start;
  start.limiter = true;
  start.compareKey = VK_F9;
  start.drawn = SettingBit(kSettingCameraInterpolation) | SettingBit(kSettingParticleInterpolation);
  StartLiveSettings(start, applied, targets);
  compare.correctionsOff = true;  // the player pressed the key
  const auto paceAFrame = [&] {
    clock.now += 300;
    limiter.PaceFrame(true);
  };
  paceAFrame();
  EXPECT_EQ(display.reads, 1u);
  EXPECT_FALSE(ApplyLiveSettings(mailbox, applied, targets));

  const struct {
    const char* what;
    std::vector<LiveSettings> posted;  // before one tick takes them
    uint32_t displayReads;             // after the next frame
    size_t lines;
    double phaseFactor;
    uint32_t compareKey;
    bool correctionsOff;
  } steps[] = {
      {"particles off, a phase, the trace on: the limiter goes on as it was",
       {[&] {
         LiveSettings s = start;
         s.drawn = SettingBit(kSettingCameraInterpolation);
         s.phaseDelayPercent = 55;
         s.motionTrace = true;
         return s;
       }()},
       1, 1, 0.55, VK_F9, true},
      {"two sets before a tick: the newer one, a rate and the key gone",
       {start,
        [&] {
          LiveSettings s = start;
          s.targetFps = 50;
          s.compareKey = 0;
          return s;
        }()},
       1, 1, 0.0, 0, false},
      {"back to the display: looked at and named again", {start}, 2, 2, 0.0, VK_F9, false},
  };
  uint32_t generation = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    for (const LiveSettings& s : step.posted) mailbox.Post(s);
    ASSERT_TRUE(ApplyLiveSettings(mailbox, applied, targets));
    EXPECT_FALSE(ApplyLiveSettings(mailbox, applied, targets)) << "applied only once";
    EXPECT_EQ(mailbox.applied(), mailbox.posted());
    EXPECT_EQ(applied.generation, ++generation);
    EXPECT_TRUE(applied.markNextFrame);
    applied.markNextFrame = false;
    const LiveSettings& newest = step.posted.back();
    EXPECT_EQ(applied.current, newest);
    EXPECT_EQ(applied.drawn.load(), newest.drawn);
    EXPECT_EQ(motionTrace, newest.motionTrace);
    paceAFrame();
    EXPECT_EQ(display.reads, step.displayReads);
    EXPECT_EQ(captured.lines.size(), step.lines);
    const FrameRate paced = newest.targetFps != 0 ? WholeHertz(newest.targetFps) : FrameRate{100, 1};
    EXPECT_EQ(limiter.pacingRate(), paced);
    EXPECT_DOUBLE_EQ(fraction.phaseFactor(), step.phaseFactor);
    EXPECT_EQ(compare.virtualKey, step.compareKey);
    EXPECT_EQ(compare.correctionsOff, step.correctionsOff);
  }
}

}  // namespace
}  // namespace driftglass
