// The mouse at presentation rate inside the simulated game, driven by real input: a user thread
// moves the mouse with SendInput, Wine's raw input carries it into the game's window, and the game
// checks that what its gameplay and its GUI read adds up to what was sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

const std::string kOverlayIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\nMotionTrace=true\r\n"
    "[Features]\r\nRenderUnlock=true\r\nMouseOverlay=true\r\n";

std::map<std::string, double> MouseFact(const GameRun& run) {
  auto fields = test::FactNumbers(run, "mouse");
  EXPECT_FALSE(fields.empty()) << "no mouse fact in the record";
  return fields;
}

// Every count sent reaches the game exactly once: read by gameplay or by the open GUI.
void ExpectEveryCountOnce(const GameRun& run) {
  auto fact = MouseFact(run);
  EXPECT_EQ(fact["send_failures"], 0);
  EXPECT_EQ(fact["read_x"] + fact["gui_read_x"], fact["injected_x"] + fact["burst_x"]);
  EXPECT_EQ(fact["read_y"] + fact["gui_read_y"], fact["injected_y"]);
}

// The latest telemetry line's text value of a key, e.g. rawTap=installed.
std::string LatestText(const GameRun& run, const std::string& key) {
  const auto lines = run.LinesStartingWith("INFO Telemetry interval=");
  if (lines.empty()) return "";
  const std::string& line = lines.back();
  const size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return "";
  const size_t start = at + key.size() + 2;
  return line.substr(start, line.find_first_of(" ,)", start) - start);
}

std::string Scenario(const std::string& extra) {
  return "duration_seconds=2.5\nidle_after_seconds=1.3\npacing=fixed:144\nlimit_fps=0\n" + extra;
}

TEST(MouseCapture, RawPacketsReachGameplayOnceAndEveryFrameSamplesThem) {
  const GameRun run = test::PlayGame("[General]\r\nCompareKey=F9\r\n" + kOverlayIni,
                                     Scenario("window=visible\nmouse_pattern=mixed\nevents=compare_key@60\n"));
  test::ExpectCleanRun(run);
  ExpectEveryCountOnce(run);
  // The overlay draws no correction the compare key could switch: the key is not read.
  EXPECT_EQ(run.LinesStartingWith("WARN Compare key F9 has nothing to switch").size(), 1u);
  EXPECT_EQ(test::FactNumbers(run, "key_press").at("foreground"), 1) << "the press reached the game";
  EXPECT_EQ(TelemetryTotal(run, "Compare", "switches"), 0u);
  EXPECT_EQ(LatestText(run, "rawTap"), "installed");
  EXPECT_EQ(LatestText(run, "rawActive"), "yes");
  EXPECT_GT(TelemetryTotal(run, "MouseAudit", "rawTickCompare"), 100u) << "the packets went to gameplay";
  EXPECT_EQ(TelemetryTotal(run, "MouseAudit", "threadMismatch"), 0u);
  // From the first frame that polled on (the first gameplay pass), every frame took exactly the
  // motion SDL2 received since the frame before: the tap sees each packet just before SDL2 does.
  const auto rows = test::TraceRows(run.motionTrace);
  ASSERT_EQ(rows.size(), run.frames.size());
  size_t polled = 0, moving = 0;
  for (size_t i = 1; i < rows.size(); ++i) {
    const bool polls = (std::stoul(rows[i].at(7)) & 1u) != 0;  // flags bit 0
    if (polled == 0 && !polls) continue;
    SCOPED_TRACE(testing::Message() << "frame " << i);
    ++polled;
    EXPECT_TRUE(polls);
    const long long pollX = std::stoll(rows[i].at(26)), pollY = std::stoll(rows[i].at(27));
    if (polled > 1) {
      EXPECT_EQ(pollX, run.frames[i].at("sdl_x") - run.frames[i - 1].at("sdl_x"));
      EXPECT_EQ(pollY, run.frames[i].at("sdl_y") - run.frames[i - 1].at("sdl_y"));
    }
    moving += pollX != 0 || pollY != 0;
  }
  EXPECT_GT(polled, 250u);
  EXPECT_GT(moving, 50u);
}

TEST(MouseCapture, WithoutATappableWindowTheFramesDrainSdlAndStillDeliverOnce) {
  const struct {
    const char* scenario;
    const char* tap;
  } cases[] = {
      // Another process owns the foreground; the game's own window is the first visible one.
      {"window=visible\nforeign_foreground=1\nmouse_pattern=sweep\n", "installed"},
      // No window of the game can be found: SDL mode.
      {"window=hidden\nforeign_foreground=1\nmouse_pattern=sweep\n", "fallback"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    const GameRun run = test::PlayGame(kOverlayIni, Scenario(c.scenario));
    test::ExpectCleanRun(run);
    ExpectEveryCountOnce(run);
    EXPECT_EQ(LatestText(run, "rawTap"), c.tap);
    if (std::string(c.tap) == "fallback") {
      EXPECT_EQ(LatestText(run, "rawActive"), "no");
      EXPECT_GE(TelemetryTotal(run, "MouseAudit", "rawInstallFail"), TelemetryTotal(run, "MouseAudit", "updates"));
      EXPECT_GT(TelemetryTotal(run, "MouseAudit", "tickDeferredNonZero"), 50u) << "SDL2's counts waited a tick";
      EXPECT_GT(TelemetryTotal(run, "MouseAudit", "presentNonZero"), 50u);
    } else {
      EXPECT_EQ(LatestText(run, "rawActive"), "yes");
    }
  }
}

// The game replaces its window while the mouse sweeps: the tap lets go of the old window and
// taps the new one, SDL2's counts carry the motion in between, and nothing SDL2 received reaches
// the game twice or never (packets sent while no window exists reach no one, so SDL2's own total
// is the truth here, not what was sent).
TEST(MouseCapture, AReplacedWindowIsTappedAgainAndTheLookStaysLive) {
  // Wine takes about 2 s to destroy a shown window here (longer on a busy machine); the game does
  // not count that time, but the user's motion runs on and may end before the new window is
  // there. The game's own 10000 moves ten ticks after the swap reach the new window whatever
  // the swap took.
  const GameRun run = test::PlayGame(kOverlayIni, "duration_seconds=3\nidle_after_seconds=1.3\npacing=fixed:144\n"
                                                  "limit_fps=0\nwindow=visible\nmouse_pattern=sweep_right\n"
                                                  "events=window_recreate@30,burst10000@40\n");
  test::ExpectCleanRun(run);
  auto fact = MouseFact(run);
  EXPECT_EQ(fact["recreated_tick"], 30);
  EXPECT_EQ(fact["read_x"] + fact["gui_read_x"], fact["sdl_x"]);
  EXPECT_EQ(fact["read_y"] + fact["gui_read_y"], fact["sdl_y"]);
  EXPECT_EQ(fact["burst_x"], 5000);
  EXPECT_GE(fact["read_after_recreate_x"], fact["burst_x"]) << "the mouse turns the view again";
  EXPECT_TRUE(run.HasLine("INFO Native raw-mouse packet tap released: the game window was destroyed; SDL's "
                          "counts are used until the tap is installed on the game's next window."));
  EXPECT_EQ(run.LinesStartingWith("INFO Native raw-mouse packet tap installed").size(), 2u);
  EXPECT_EQ(LatestText(run, "rawTap"), "installed");
  EXPECT_EQ(LatestText(run, "rawActive"), "yes");
  EXPECT_GE(TelemetryTotal(run, "MouseAudit", "rawNonZero"), 10000u) << "the moves went through the new tap";
}

TEST(MouseCapture, TenThousandQueuedPacketsAreCountedOnceInBoundedDrains) {
  const GameRun run = test::PlayGame(kOverlayIni, Scenario("window=visible\nevents=burst10000@10\n"));
  test::ExpectCleanRun(run);
  ExpectEveryCountOnce(run);
  auto fact = MouseFact(run);
  EXPECT_EQ(fact["burst_x"], 5000);
  EXPECT_EQ(TelemetryTotal(run, "MouseAudit", "rawNonZero"), 10000u);
  // Nothing the tap saw was lost for SDL2, nor counted twice.
  EXPECT_EQ(TelemetryTotal(run, "MouseAudit", "rawPackets"), static_cast<uint64_t>(fact["sdl_packets"]));
  EXPECT_GE(TelemetryTotal(run, "MouseAudit", "rawDirectDrain"), 1u);
}

TEST(MouseCapture, RereadsAndSmoothingTurnTheLookOffWithoutLosingCounts) {
  const GameRun reread =
      test::PlayGame(kOverlayIni, Scenario("window=visible\nmouse_pattern=jitter\nevents=double_read@40:20\n"));
  test::ExpectCleanRun(reread);
  ExpectEveryCountOnce(reread);
  EXPECT_EQ(TelemetryTotal(reread, "MouseAudit", "multiRead"), 20u);
  const GameRun smooth = test::PlayGame(kOverlayIni, Scenario("window=visible\nmouse_pattern=sweep\nsmoothing=1\n"));
  test::ExpectCleanRun(smooth);
  ExpectEveryCountOnce(smooth);
  EXPECT_GT(TelemetryTotal(smooth, "MouseAudit", "smoothOn"), 100u);
  EXPECT_EQ(TelemetryTotal(smooth, "MouseAudit", "presentPolls"), 0u) << "smoothing keeps the frames out";
}

// A GUI opened during motion: its cursor moves between ticks, the next stock update sends it only
// what the frames have not shown (the game checks each position against the motion it received),
// and it ends where the game's own cursor ends.
TEST(MouseCapture, GuiCursorMovesAtFrameRateAndEndsWhereTheGamePutsIt) {
  for (const char* mode : {"gui_relative=1\n", "gui_relative=0\n"}) {
    SCOPED_TRACE(mode);
    const GameRun run = test::PlayGame(
        kOverlayIni, Scenario(std::string("window=visible\nmouse_pattern=sweep\nmouse_stop_seconds=1.6\n"
                                          "events=gui_open@30:90\n") + mode));
    test::ExpectCleanRun(run);
    // In a menu SDL2 leaves relative mode: what moves the system cursor is no count of the game's.
    if (std::string(mode) == "gui_relative=1\n") ExpectEveryCountOnce(run);
    size_t betweenTicks = 0;
    const std::map<std::string, double>* lastOpen = nullptr;
    for (size_t i = 1; i < run.frames.size(); ++i) {
      const auto& frame = run.frames[i];
      const auto& before = run.frames[i - 1];
      if (frame.at("gui_open") == 0 || before.at("gui_open") == 0) continue;
      lastOpen = &frame;
      if (frame.at("ticks") == before.at("ticks") &&
          (frame.at("gui_x") != before.at("gui_x") || frame.at("gui_y") != before.at("gui_y"))) {
        ++betweenTicks;
      }
    }
    ASSERT_NE(lastOpen, nullptr);
    // How many frames fall between two ticks while the hand moves is the machine's business; the
    // game checks every position it receives and draws.
    EXPECT_GT(betweenTicks, 0u) << "frames between ticks moved the cursor (never without the plug-in)";
    EXPECT_EQ(lastOpen->at("gui_x"), lastOpen->at("stock_x"));
    EXPECT_EQ(lastOpen->at("gui_y"), lastOpen->at("stock_y"));
    EXPECT_GT(TelemetryTotal(run, "MouseAudit", "guiRestore"), 0u) << "each frame's cursor given back once drawn";
  }
}

}  // namespace
}  // namespace driftglass
