#include "timing/frame_pacer.h"

#include <gtest/gtest.h>

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
}

// Answers of the display calls, set by the test.
struct FakeDisplay {
  static inline BOOL infoOk = TRUE;
  static inline DWORD frequency = 60;
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
};

TEST(DisplayRate, TheMonitorsRateOrNothingWhenItCannotBeRead) {
  DisplayRateApi api;
  api.monitorFromWindow = &FakeDisplay::FromWindow;
  api.monitorFromPoint = &FakeDisplay::FromPoint;
  api.getMonitorInfo = &FakeDisplay::Info;
  api.enumDisplaySettings = &FakeDisplay::Settings;
  EXPECT_EQ(DisplayOf(reinterpret_cast<HWND>(7), api), reinterpret_cast<HMONITOR>(1));
  EXPECT_EQ(DisplayOf(nullptr, api), reinterpret_cast<HMONITOR>(2)) << "no window: the primary display";
  const HMONITOR monitor = DisplayOf(reinterpret_cast<HWND>(7), api);
  const struct {
    BOOL infoOk;
    DWORD frequency;
    uint32_t rate;
  } answers[] = {{TRUE, 144, 144}, {TRUE, 60, 60}, {TRUE, 1, 0}, {TRUE, 0, 0}, {FALSE, 60, 0}};
  for (const auto& a : answers) {
    FakeDisplay::infoOk = a.infoOk;
    FakeDisplay::frequency = a.frequency;
    EXPECT_EQ(ReadRefreshRate(monitor, api), a.rate) << a.frequency;
  }
  EXPECT_EQ(ReadRefreshRate(nullptr, api), 0u);
}

}  // namespace
}  // namespace driftglass
