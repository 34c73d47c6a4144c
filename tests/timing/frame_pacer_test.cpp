#include "timing/frame_pacer.h"

#include <gtest/gtest.h>

#include <vector>

#include "timing/display_rate.h"

namespace driftglass {
namespace {

// The grid at 100 counter ticks a frame, frame by frame: what each arrival waits for.
TEST(PacerGrid, DeadlinesLieOnTheGridAndAFrameOverAnIntervalLateRestartsIt) {
  PacerGrid grid;
  grid.Reset(100);
  const struct {
    const char* what;
    int64_t now;
    int64_t waitUntil;
    bool restarted;
  } frames[] = {
      {"the first frame starts the grid", 1000, 0, false},
      {"early: waits for its deadline", 1040, 1100, false},
      {"on time", 1200, 0, false},
      {"slightly late: no wait, the grid holds", 1330, 0, false},
      {"early again, on the same grid", 1350, 1400, false},
      {"more than one interval late: restarts from now", 1620, 0, true},
      {"the new grid", 1650, 1720, false},
  };
  for (const auto& f : frames) {
    SCOPED_TRACE(f.what);
    const PacerStep step = grid.Next(f.now);
    EXPECT_EQ(step.waitUntil, f.waitUntil);
    EXPECT_EQ(step.restarted, f.restarted);
  }
  grid.Reset(0);
  EXPECT_EQ(grid.Next(5000).waitUntil, 0) << "no rate, no pacing";

  // 100.1 ticks a frame: the remainder is carried, so ten intervals span exactly 1001 ticks.
  grid.Reset(1001, 10);
  grid.Next(0);
  int64_t first = 0, last = 0;
  for (int frame = 1; frame <= 11; ++frame) {
    const PacerStep step = grid.Next(frame * 100 - 50);
    (frame == 1 ? first : last) = step.waitUntil;
  }
  EXPECT_EQ(first, 100);
  EXPECT_EQ(last - first, 1001);
}

// A made-up clock in microseconds: each sleep wakes as late as the script says, each spin turn
// takes a microsecond.
struct FakePlatform final : PacerPlatform {
  int64_t now = 1000000;
  std::vector<int64_t> lateness{0};  // the last entry repeats
  size_t sleeps = 0;
  int64_t Now() override { return now; }
  void Sleep(int64_t ticks, int64_t) override {
    now += ticks + lateness[sleeps < lateness.size() ? sleeps : lateness.size() - 1];
    ++sleeps;
  }
  void Pause() override { now += 1; }
};

constexpr int64_t kMicrosecond = 1000000;

// Frames of a game that works `work` microseconds between two waits; returns each frame's counts
// and the time it ended.
struct PacedFrame {
  PacerCounts counts;
  int64_t end;
  int64_t margin;
};
std::vector<PacedFrame> RunFrames(FramePacer& pacer, FakePlatform& platform, int frames, int64_t work) {
  std::vector<PacedFrame> result;
  for (int i = 0; i < frames; ++i) {
    platform.now += work;
    const PacerCounts counts = pacer.Pace();
    result.push_back({counts, platform.now, pacer.margin()});
  }
  return result;
}

// Sleeps that always wake a millisecond late: once the margin has learned that, every frame
// sleeps, spins a little and ends on its deadline, one interval after the last.
TEST(FramePacer, TheMarginLearnsHowLateSleepsWakeSoFramesEndOnTheirDeadlines) {
  FakePlatform platform;
  platform.lateness = {1000};
  FramePacer pacer(platform);
  pacer.Configure(WholeHertz(100), kMicrosecond);
  const auto frames = RunFrames(pacer, platform, 60, 2000);
  // The first frame starts the grid at its own time; frame i is due i intervals later.
  const int64_t gridStart = frames[0].end;
  for (size_t i = 20; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(frames[i].counts.paced, 1u);
    const int64_t deadline = gridStart + static_cast<int64_t>(i) * 10000;
    EXPECT_GE(frames[i].end, deadline) << "never early";
    EXPECT_LE(frames[i].end, deadline + 2) << "not late: the sleep woke before the deadline";
    EXPECT_LT(frames[i].counts.spinMicros, 400u) << "sleeps the bulk";
    EXPECT_EQ(frames[i].counts.waitMicros, 8000u);
  }
  EXPECT_GE(pacer.margin(), 1000);
  EXPECT_LE(pacer.margin(), 1400);
}

// One wake-up 3.9 ms late raises the margin. Whether the frames that follow still have time to
// sleep or not, the margin comes back down and the waits sleep again instead of spinning.
TEST(FramePacer, OneLateWakeUpDoesNotLeaveEveryLaterWaitSpinning) {
  for (const int64_t work : {1500, 2500}) {
    SCOPED_TRACE(work);
    FakePlatform platform;
    platform.lateness = {3900, 300};
    FramePacer pacer(platform);
    pacer.Configure(WholeHertz(240), kMicrosecond);
    const auto frames = RunFrames(pacer, platform, 200, work);
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_LE(frames[i].margin, 4166 / 2) << "never above half an interval, frame " << i;
      if (i < 150) continue;
      EXPECT_LT(frames[i].counts.spinMicros, 700u) << "frame " << i << " spins instead of sleeping";
      EXPECT_NEAR(frames[i].end - frames[i - 1].end, 4166, 2) << "frame " << i;
    }
  }
}

// Answers of the display calls, set by the test.
struct FakeDisplay {
  static inline BOOL infoOk = TRUE;
  static inline DWORD frequency = 60;
  static inline LONG queryResult = ERROR_SUCCESS;
  static inline UINT32 numerator = 0, denominator = 1;
  static inline const wchar_t* sourceName = L"\\\\.\\DISPLAY1";
  static inline uint32_t queries = 0;
  static HMONITOR WINAPI FromWindow(HWND, DWORD) { return reinterpret_cast<HMONITOR>(1); }
  static HMONITOR WINAPI FromPoint(POINT, DWORD) { return reinterpret_cast<HMONITOR>(2); }
  static BOOL WINAPI Info(HMONITOR, LPMONITORINFO info) {
    wcscpy(reinterpret_cast<MONITORINFOEXW*>(info)->szDevice, L"\\\\.\\DISPLAY1");
    return infoOk;
  }
  static BOOL WINAPI Settings(LPCWSTR device, DWORD, DEVMODEW* mode) {
    mode->dmDisplayFrequency = frequency;
    return wcscmp(device, L"\\\\.\\DISPLAY1") == 0;
  }
  static LONG WINAPI Query(UINT32, UINT32* paths, DISPLAYCONFIG_PATH_INFO* path, UINT32* modes,
                           DISPLAYCONFIG_MODE_INFO*, DISPLAYCONFIG_TOPOLOGY_ID*) {
    ++queries;
    *paths = 1;
    *modes = 0;
    path[0] = DISPLAYCONFIG_PATH_INFO{};
    path[0].targetInfo.refreshRate.Numerator = numerator;
    path[0].targetInfo.refreshRate.Denominator = denominator;
    return queryResult;
  }
  static LONG WINAPI DeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* header) {
    wcscpy(reinterpret_cast<DISPLAYCONFIG_SOURCE_DEVICE_NAME*>(header)->viewGdiDeviceName, sourceName);
    return ERROR_SUCCESS;
  }
};

TEST(DisplayRate, TheMonitorsExactRateWhereTheSystemOffersOneElseWholeHertzOrNothing) {
  DisplayRateApi api;
  api.monitorFromWindow = &FakeDisplay::FromWindow;
  api.monitorFromPoint = &FakeDisplay::FromPoint;
  api.getMonitorInfo = &FakeDisplay::Info;
  api.enumDisplaySettings = &FakeDisplay::Settings;
  api.queryDisplayConfig = &FakeDisplay::Query;
  api.displayConfigGetDeviceInfo = &FakeDisplay::DeviceInfo;
  EXPECT_EQ(DisplayOf(reinterpret_cast<HWND>(7), api), reinterpret_cast<HMONITOR>(1));
  EXPECT_EQ(DisplayOf(nullptr, api), reinterpret_cast<HMONITOR>(2)) << "no window: the primary display";
  const HMONITOR monitor = reinterpret_cast<HMONITOR>(1);
  const struct {
    const char* what;
    BOOL infoOk;
    DWORD frequency;
    LONG queryResult;
    UINT32 numerator, denominator;
    const wchar_t* source;
    FrameRate rate;
  } answers[] = {
      {"59.94 Hz, which the mode calls 59", TRUE, 59, ERROR_SUCCESS, 60000, 1001, L"\\\\.\\DISPLAY1", {60000, 1001}},
      {"the same display again", TRUE, 59, ERROR_SUCCESS, 60000, 1001, L"\\\\.\\DISPLAY1", {60000, 1001}},
      {"144 Hz, exact", TRUE, 144, ERROR_SUCCESS, 144000, 1000, L"\\\\.\\DISPLAY1", {144, 1}},
      {"59.94 Hz, its configuration not readable yet", TRUE, 59, ERROR_GEN_FAILURE, 0, 0, L"\\\\.\\DISPLAY1", {59, 1}},
      {"read again at the next check", TRUE, 59, ERROR_SUCCESS, 60000, 1001, L"\\\\.\\DISPLAY1", {60000, 1001}},
      {"then known", TRUE, 59, ERROR_SUCCESS, 60000, 1001, L"\\\\.\\DISPLAY1", {60000, 1001}},
      {"exactly a hertz above the mode", TRUE, 143, ERROR_SUCCESS, 144, 1, L"\\\\.\\DISPLAY1", {144, 1}},
      {"exactly a hertz below it", TRUE, 145, ERROR_SUCCESS, 144, 1, L"\\\\.\\DISPLAY1", {144, 1}},
      {"just over a hertz above", TRUE, 143, ERROR_SUCCESS, 144001, 1000, L"\\\\.\\DISPLAY1", {143, 1}},
      {"no configuration: whole hertz", TRUE, 120, ERROR_NOT_SUPPORTED, 0, 0, L"\\\\.\\DISPLAY1", {120, 1}},
      {"a configuration that disagrees", TRUE, 60, ERROR_SUCCESS, 144, 1, L"\\\\.\\DISPLAY1", {60, 1}},
      {"only another display's path", TRUE, 75, ERROR_SUCCESS, 60000, 1001, L"\\\\.\\DISPLAY2", {75, 1}},
      {"a zero denominator", TRUE, 90, ERROR_SUCCESS, 90, 0, L"\\\\.\\DISPLAY1", {90, 1}},
      {"119.88 Hz after five failed modes", TRUE, 119, ERROR_GEN_FAILURE, 0, 0, L"\\\\.\\DISPLAY1", {119, 1}},
      {"read again: failures count per mode", TRUE, 119, ERROR_SUCCESS, 120000, 1001, L"\\\\.\\DISPLAY1", {120000, 1001}},
      {"the hardware default", TRUE, 1, ERROR_SUCCESS, 60, 1, L"\\\\.\\DISPLAY1", {}},
      {"no mode", TRUE, 0, ERROR_SUCCESS, 60, 1, L"\\\\.\\DISPLAY1", {}},
      {"no monitor information", FALSE, 60, ERROR_SUCCESS, 60, 1, L"\\\\.\\DISPLAY1", {}},
      {"back to 59.94", TRUE, 59, ERROR_SUCCESS, 60000, 1001, L"\\\\.\\DISPLAY1", {60000, 1001}},
  };
  DisplayRateReader reader(api);
  for (const auto& a : answers) {
    SCOPED_TRACE(a.what);
    FakeDisplay::infoOk = a.infoOk;
    FakeDisplay::frequency = a.frequency;
    FakeDisplay::queryResult = a.queryResult;
    FakeDisplay::numerator = a.numerator;
    FakeDisplay::denominator = a.denominator;
    FakeDisplay::sourceName = a.source;
    const FrameRate rate = reader.Read(monitor);
    EXPECT_EQ(rate.numerator, a.rate.numerator);
    EXPECT_EQ(rate.denominator, a.rate.denominator);
  }
  EXPECT_EQ(FakeDisplay::queries, 14u) << "the exact rate is asked for when the mode changed or the answer failed";
  EXPECT_EQ(reader.Read(nullptr).numerator, 0u);

  // A configuration that never agrees is asked again less and less often, then no more.
  FakeDisplay::frequency = 100;
  const uint32_t before = FakeDisplay::queries;
  for (int check = 0; check < 200; ++check) EXPECT_EQ(reader.Read(monitor).numerator, 100u);
  EXPECT_GE(FakeDisplay::queries - before, 5u) << "tried again";
  EXPECT_LE(FakeDisplay::queries - before, 10u) << "in 100 seconds of checks";

  wchar_t text[16];
  const struct {
    FrameRate rate;
    const wchar_t* text;
  } formats[] = {{{60000, 1001}, L"59.94"}, {{144, 1}, L"144"}, {{2997, 100}, L"29.97"}, {{1205, 10}, L"120.5"}, {{}, L"0"}};
  for (const auto& f : formats) {
    FormatFrameRate(f.rate, text, 16);
    EXPECT_STREQ(text, f.text);
  }
}

}  // namespace
}  // namespace driftglass
