#include "input/gui_cursor.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace driftglass {
namespace {

struct GuiCall {
  MousePoint pos;
  MousePoint rel;
};
std::vector<GuiCall> g_calls;

uint8_t DRIFTGLASS_THISCALL RecordSend(void*, const int32_t* pos, const int32_t* rel) {
  if (pos == nullptr || rel == nullptr) return 0;  // bad arguments are passed through as they are
  g_calls.push_back({{pos[0], pos[1]}, {rel[0], rel[1]}});
  return 1;
}
int g_relativeMode = 1;
int RelativeMode() { return g_relativeMode; }
void NoDrain() {}

// A GUI on a 640x480 client area of a real window, the raw tap installed on it and live packets.
struct GuiFixture : testing::Test {
  struct {
    uint8_t bytes[64] = {};
  } gui;
  GuiCursorState cursor;
  MouseState mouse;
  RawTapState tap;
  MouseAudit audit;
  GuiCursorHost host{&RecordSend, &RelativeMode, &NoDrain};
  HWND window = nullptr;

  void SetUp() override {
    g_calls.clear();
    g_relativeMode = 1;
    RECT rect{0, 0, 640, 480};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    window = CreateWindowExW(0, L"STATIC", L"gui", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                             rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr) << "windows need a display";
    gui.bytes[52] = 1;  // a GUI is active
    mouse.mouseOverlay = true;
    mouse.mouseThreadId = GetCurrentThreadId();
    tap.tapWindow = window;
    tap.installed = true;
    tap.rawActive = true;
  }
  void TearDown() override { DestroyWindow(window); }

  uint8_t Stock(MousePoint pos, MousePoint rel, uint64_t tick) {
    const int32_t p[2] = {pos.x, pos.y};
    const int32_t r[2] = {rel.x, rel.y};
    return StockGuiUpdate(cursor, mouse, audit, gui.bytes, p, r, tick, &RecordSend);
  }
  void Frame(uint64_t tick) { UpdateGuiCursor(cursor, mouse, tap, audit, host, tick, GetCurrentThreadId()); }
};

TEST_F(GuiFixture, FramesShowPendingMotionAndTheStockUpdateSendsOnlyTheRest) {
  Stock({100, 50}, {0, 0}, 5);
  mouse.tickPending.Add(30, 0);
  Frame(5);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[1].pos, (MousePoint{130, 50}));
  EXPECT_EQ(g_calls[1].rel, (MousePoint{30, 0}));
  Frame(5);  // nothing new: nothing sent
  EXPECT_EQ(g_calls.size(), 2u);

  mouse.tickPending.x = 0;
  Stock({130, 50}, {30, 0}, 6);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[2].rel, (MousePoint{0, 0}));
  EXPECT_EQ(audit.guiFixedCorrection.load(), 1u);

  // Once the GUI has drawn, it goes back to the game's own position; the stock update then sends
  // the game's own motion from there.
  mouse.tickPending.Add(5, -5);
  Frame(6);
  RestoreGuiCursor(cursor, audit, &RecordSend);
  ASSERT_EQ(g_calls.size(), 5u);
  EXPECT_EQ(g_calls[3].pos, (MousePoint{135, 45}));
  EXPECT_EQ(g_calls[4].pos, (MousePoint{130, 50}));
  EXPECT_EQ(g_calls[4].rel, (MousePoint{-5, 5}));
  RestoreGuiCursor(cursor, audit, &RecordSend);  // already there: nothing sent
  EXPECT_EQ(g_calls.size(), 5u);
  mouse.tickPending.x = mouse.tickPending.y = 0;
  Stock({135, 45}, {5, -5}, 7);
  EXPECT_EQ(g_calls.back().rel, (MousePoint{5, -5}));
  EXPECT_EQ(audit.guiRestore.load(), 1u);
  EXPECT_EQ(audit.guiFixedCorrection.load(), 1u);

  mouse.tickPending.Add(-200, 1000);  // beyond the client area on both sides
  Frame(6);
  EXPECT_EQ(g_calls.back().pos, (MousePoint{0, 479}));
  EXPECT_EQ(audit.guiMoves.load(), 3u);
  EXPECT_EQ(audit.guiXY.x.load(), 30 + 5 - 135);
}

TEST_F(GuiFixture, NothingMovesWithoutAFreshStockUpdateOrRawPacketsOrWhileGameplayIsLive) {
  mouse.gameplayLive = true;
  Stock({10, 10}, {0, 0}, 5);
  EXPECT_FALSE(mouse.gameplayLive.load());  // the GUI took the mouse: no look preview
  tap.rawActive = false;
  mouse.tickPending.Add(5, 5);
  Frame(5);
  EXPECT_EQ(g_calls.size(), 1u);
  tap.rawActive = true;
  Frame(7);  // two ticks without a stock update: the GUI has closed
  Frame(7);
  EXPECT_EQ(audit.guiStale.load(), 1u);
  EXPECT_EQ(g_calls.size(), 1u);

  gui.bytes[52] = 0;  // no GUI: passed through, and frames stay off
  Stock({10, 10}, {4, 4}, 8);
  Frame(8);
  EXPECT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[1].rel, (MousePoint{4, 4}));
  const int32_t p[2] = {0, 0};
  StockGuiUpdate(cursor, mouse, audit, gui.bytes, p, nullptr, 8, &RecordSend);
  EXPECT_EQ(audit.guiInvalid.load(), 1u);
}

TEST_F(GuiFixture, AbsoluteModeFollowsTheSystemCursorInsideTheClientArea) {
  g_relativeMode = 0;
  Stock({10, 10}, {0, 0}, 5);
  POINT corner{0, 0};
  ClientToScreen(window, &corner);
  SetCursorPos(corner.x + 700, corner.y + 20);
  Frame(5);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[1].pos, (MousePoint{639, 20}));
  EXPECT_EQ(audit.guiModeAbsolute.load(), 1u);
}

}  // namespace
}  // namespace driftglass
