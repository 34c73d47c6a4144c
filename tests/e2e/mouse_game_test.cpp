// The simulated game's own mouse, with the plug-in disabled: a user thread moves the mouse through
// SendInput, raw input carries it into the game's real window, and the game compares what its
// gameplay and GUI read through the engine with what was sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "support/game_run.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::GameRun;

const std::string kStockIni = "[General]\r\nEnabled=false\r\n";
const char* const kFrameFields[] = {"gui_open", "gui_x", "gui_y", "stock_x", "stock_y", "read_x", "read_y"};

using Fields = std::map<std::string, std::string>;

Fields Split(const std::string& line) {
  Fields fields;
  std::istringstream words(line);
  std::string word;
  while (words >> word) {
    const size_t equals = word.find('=');
    if (equals != std::string::npos) fields[word.substr(0, equals)] = word.substr(equals + 1);
  }
  return fields;
}

long long Number(const Fields& fields, const std::string& key) {
  const auto found = fields.find(key);
  EXPECT_NE(found, fields.end()) << key;
  return found == fields.end() ? 0 : std::strtoll(found->second.c_str(), nullptr, 10);
}

Fields MouseFact(const GameRun& run) {
  for (const std::string& fact : run.facts) {
    if (fact.rfind("mouse ", 0) == 0) return Split(fact);
  }
  ADD_FAILURE() << "no mouse fact in the record";
  return {};
}

// The record's per-send lines must add up to its totals and lie in the user's time window.
void ExpectSendLog(const GameRun& run, const Fields& fact, double start, double stop) {
  std::istringstream lines(test::ReadFileBytes(run.folder->File(L"record.txt")));
  std::string line;
  long long count = 0, x = 0, y = 0;
  double previous = start;
  while (std::getline(lines, line)) {
    if (line.rfind("input ", 0) != 0) continue;
    const Fields send = Split(line);
    const double t = std::strtod(send.at("t").c_str(), nullptr);
    EXPECT_GE(t, previous);
    EXPECT_LT(t, stop);
    previous = t;
    ++count;
    x += Number(send, "dx");
    y += Number(send, "dy");
  }
  EXPECT_EQ(count, Number(fact, "sends"));
  EXPECT_EQ(x, Number(fact, "injected_x"));
  EXPECT_EQ(y, Number(fact, "injected_y"));
}

// Every count sent reaches the game once: read by gameplay or by the open GUI. Wine delivers an
// absolute move as relative motion of the cursor's jump.
void ExpectConserved(const Fields& fact) {
  EXPECT_GT(Number(fact, "sends"), 100);
  EXPECT_EQ(Number(fact, "send_failures"), 0);
  EXPECT_EQ(Number(fact, "read_x") + Number(fact, "gui_read_x"),
            Number(fact, "injected_x") + Number(fact, "burst_x") + Number(fact, "absolute_jump_x"));
  EXPECT_EQ(Number(fact, "read_y") + Number(fact, "gui_read_y"),
            Number(fact, "injected_y") + Number(fact, "absolute_jump_y"));
  EXPECT_GE(Number(fact, "sdl_packets"), Number(fact, "sends"));
}

TEST(MouseGame, EveryCountTheUserSendsReachesGameplayExactlyOnce) {
  const struct {
    const char* name;
    const char* scenario;
    const char* window;
    double stopSeconds;
    long long burstX;
    long long absoluteMoves;
  } kCases[] = {
      {"sweeps, uncapped", "duration_seconds=2\npacing=uncapped\nlimit_fps=0\nmouse_pattern=sweep\n", "visible", 1.7,
       0, 0},
      {"all patterns at 144 Hz, smoothing, double reads",
       "duration_seconds=2\npacing=fixed:144\nlimit_fps=0\nmouse_pattern=mixed\nmouse_seed=7\nsmoothing=1\n"
       "invert_y=1\nsensitivity=2.5\nevents=double_read@30:20\n",
       "visible", 1.7, 0, 0},
      {"a hidden window behind another program's",
       "duration_seconds=2\npacing=fixed:144\nlimit_fps=0\nwindow=hidden\nforeign_foreground=1\nmouse_pattern=flicks\n",
       "hidden", 1.7, 0, 0},
      // The call takes seconds; the game's loop runs on after it for its whole duration.
      {"10000 moves in one call during jitter",
       "duration_seconds=2\npacing=fixed:144\nlimit_fps=0\nmouse_pattern=jitter\nmouse_stop_seconds=1.5\n"
       "events=burst10000@10\n",
       "visible", 1.5, 5000, 0},
      // The jump lands on the game's window; while the hand rests Wine echoes nothing more.
      {"an absolute move after the sweeps",
       "duration_seconds=1.5\npacing=fixed:144\nlimit_fps=0\nmouse_pattern=sweep\nmouse_stop_seconds=0.8\n"
       "events=absolute_move@60\n",
       "visible", 0.8, 0, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // The window key comes first: a case may override it.
    const GameRun run = test::PlayGame(kStockIni, std::string("window=visible\n") + c.scenario);
    test::ExpectCleanRun(run);
    const Fields fact = MouseFact(run);
    ExpectConserved(fact);
    EXPECT_EQ(Number(fact, "burst_x"), c.burstX);
    EXPECT_EQ(Number(fact, "absolute_moves"), c.absoluteMoves);
    EXPECT_GE(Number(fact, "sdl_packets"), Number(fact, "sends") + (c.burstX != 0 ? 10000 : 0));
    EXPECT_EQ(fact.at("window"), c.window);
    ExpectSendLog(run, fact, 0.2, c.stopSeconds);
    ASSERT_GT(run.frames.size(), 60u);
    for (const auto& frame : run.frames) {
      for (const char* field : kFrameFields) ASSERT_EQ(frame.count(field), 1u) << field;
    }
    EXPECT_EQ(run.frames.back().at("read_x"), Number(fact, "read_x")) << "the last frame saw every read";
  }
}

// The GUI's cursor is the game's: it moves once per fixed step (never between two frames of one
// tick), stays in the client area, and every position it gets carries the motion from the last.
TEST(MouseGame, TheGuiCursorFollowsTheMouseInFixedSteps) {
  for (const char* relative : {"1", "0"}) {
    SCOPED_TRACE(std::string("gui_relative=") + relative);
    const GameRun run = test::PlayGame(
        kStockIni, std::string("duration_seconds=2\npacing=fixed:144\nlimit_fps=0\nwindow=visible\n"
                               "mouse_pattern=sweep\nevents=gui_open@40:30\ngui_relative=") + relative + "\n");
    test::ExpectCleanRun(run);
    const Fields fact = MouseFact(run);
    EXPECT_EQ(Number(fact, "gui_inconsistent"), 0);
    EXPECT_EQ(Number(fact, "gui_calls"), 30) << "one position per tick while open";
    if (relative[0] == '1') ExpectConserved(fact);

    std::set<std::pair<double, double>> shown;
    const std::map<std::string, double>* previous = nullptr;
    for (const auto& frame : run.frames) {
      if (frame.at("gui_open") != 0) {
        shown.insert({frame.at("gui_x"), frame.at("gui_y")});
        EXPECT_EQ(frame.at("gui_x"), frame.at("stock_x"));
        EXPECT_EQ(frame.at("gui_y"), frame.at("stock_y"));
        EXPECT_GE(frame.at("gui_x"), 0);
        EXPECT_LT(frame.at("gui_x"), 640);
        EXPECT_GE(frame.at("gui_y"), 0);
        EXPECT_LT(frame.at("gui_y"), 480);
      }
      if (previous != nullptr && previous->at("ticks") == frame.at("ticks")) {
        EXPECT_EQ(previous->at("gui_x"), frame.at("gui_x")) << "frame " << frame.at("index");
        EXPECT_EQ(previous->at("gui_y"), frame.at("gui_y")) << "frame " << frame.at("index");
      }
      previous = &frame;
    }
    // Over the window Wine echoes the pointer's lagging position back, which holds an absolute
    // cursor back on a loaded machine: moving more than once is what counts.
    EXPECT_GT(shown.size(), 2u) << "the cursor moved while the GUI was open";
  }
}

}  // namespace
}  // namespace driftglass
