// The simulated game's own mouse, with the plug-in disabled: a user thread moves the mouse through
// SendInput, raw input carries it into the game's real window, and the game compares what its
// gameplay and GUI read through the engine with what was sent, and where its look turned.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

double Real(const Fields& fields, const std::string& key) {
  const auto found = fields.find(key);
  EXPECT_NE(found, fields.end()) << key;
  return found == fields.end() ? NAN : std::strtod(found->second.c_str(), nullptr);
}

Fields Fact(const GameRun& run, const std::string& kind) {
  for (const std::string& fact : run.facts) {
    if (fact.rfind(kind + " ", 0) == 0) return Split(fact);
  }
  ADD_FAILURE() << "no " << kind << " fact in the record";
  return {};
}
Fields MouseFact(const GameRun& run) { return Fact(run, "mouse"); }

struct Send {
  double t;
  long long dx, dy;
};

std::vector<Send> Sends(const GameRun& run) {
  std::istringstream lines(test::ReadFileBytes(run.folder->File(L"record.txt")));
  std::string line;
  std::vector<Send> sends;
  while (std::getline(lines, line)) {
    if (line.rfind("input ", 0) != 0) continue;
    const Fields send = Split(line);
    sends.push_back(Send{std::strtod(send.at("t").c_str(), nullptr), Number(send, "dx"), Number(send, "dy")});
  }
  return sends;
}

// The record's per-send lines must add up to its totals and lie in the user's time window.
void ExpectSendLog(const GameRun& run, const Fields& fact, double start, double stop) {
  long long x = 0, y = 0;
  double previous = start;
  const std::vector<Send> sends = Sends(run);
  for (const Send& send : sends) {
    EXPECT_GE(send.t, previous);
    EXPECT_LT(send.t, stop);
    previous = send.t;
    x += send.dx;
    y += send.dy;
  }
  EXPECT_EQ(static_cast<long long>(sends.size()), Number(fact, "sends"));
  EXPECT_EQ(x, Number(fact, "injected_x"));
  EXPECT_EQ(y, Number(fact, "injected_y"));
}

// Readers of the record take 100 ms without a send for stillness: each flick must then be one
// motion one way on each axis, and the hand must rest at least 150 ms after it.
void ExpectFlicks(const GameRun& run) {
  const std::vector<Send> sends = Sends(run);
  size_t flicks = 0;
  for (size_t i = 0; i < sends.size();) {
    size_t end = i + 1;
    while (end < sends.size() && sends[end].t - sends[end - 1].t < 0.1) ++end;
    ++flicks;
    for (size_t k = i + 1; k < end; ++k) {
      EXPECT_GE(sends[k].dx * sends[i].dx, 0) << "flick " << flicks << " turned back at " << sends[k].t;
      EXPECT_GE(sends[k].dy * sends[i].dy, 0) << "flick " << flicks << " turned back at " << sends[k].t;
    }
    if (end < sends.size()) {
      EXPECT_GE(sends[end].t - sends[end - 1].t, 0.150) << "rest before " << sends[end].t;
    }
    i = end;
  }
  EXPECT_GT(flicks, 4u);
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
    if (std::string(c.scenario).find("flicks") != std::string::npos) ExpectFlicks(run);
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
    // How often it moves depends on when the user's moves fall between the ticks (and over the
    // window Wine echoes the pointer's lagging position back, which holds an absolute cursor back
    // on a busy machine); the per-frame checks above say it moved only with the game's own.
    EXPECT_GE(shown.size(), 2u) << "the cursor moved while the GUI was open";
  }
}

// One tick's turn as the game makes it: count x sensitivity rounded, halves away from zero, to
// units of 0.0011 rad, doubled by the player, against the count's sign (pitch with it when
// inverted), pitch held within +-1.5.
void ExpectTickTurn(const std::map<std::string, double>& before, const std::map<std::string, double>& after,
                    double sensitivity, bool invertY) {
  const double unit = 2 * static_cast<double>(0.0011f);
  const double yawUnits = std::round((after.at("read_x") - before.at("read_x")) * sensitivity);
  const double pitchUnits = std::round((after.at("read_y") - before.at("read_y")) * sensitivity);
  const double pitch = before.at("view_pitch") + (invertY ? unit : -unit) * pitchUnits;
  EXPECT_NEAR(after.at("view_yaw"), before.at("view_yaw") - unit * yawUnits, 5e-6) << "tick " << after.at("ticks");
  EXPECT_NEAR(after.at("view_pitch"), std::fmax(-1.5, std::fmin(1.5, pitch)), 5e-6) << "tick " << after.at("ticks");
}

// The look: rounding loses part of a slow sweep's motion (sensitivity 0.5: every odd count); the
// view ends where the angles the player received put it, pitch stops at its limit while the hand
// pushes on, and every drawn view is the game's own.
TEST(MouseGame, TheViewTurnsByTheRoundedUnitsThePlayerReceived) {
  const struct {
    const char* name;
    const char* scenario;
    double sensitivity, laterSensitivity;  // the later one from tick 30
    bool invertY;
    double pitchEnd;
  } kCases[] = {
      {"a slow sweep to the right", "duration_seconds=1.6\nmouse_pattern=sweep_right\nsensitivity=0.5\n", 0.5, 0.5,
       false, 0.0},
      {"pushed up past the limit, inverted, the sensitivity doubled on the way",
       "duration_seconds=1.2\nmouse_pattern=pitch_up\ninvert_y=1\nevents=sensitivity2@30\n", 1, 2, true, -1.5},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const GameRun run = test::PlayGame(
        kStockIni, std::string("pacing=fixed:144\nlimit_fps=0\nwindow=visible\ncamera_motion=mouse\n") + c.scenario);
    test::ExpectCleanRun(run);
    EXPECT_NE(test::ReadFileBytes(run.folder->File(L"record.txt")).find("invariant name=view-settles ok=1"),
              std::string::npos);
    const Fields mouse = MouseFact(run);
    const Fields look = Fact(run, "look");
    const double unit = Real(look, "unit");
    EXPECT_NEAR(unit, 0.0011, 1e-9);
    // Nothing between the game and its player: the rounded angles are what the player received.
    EXPECT_EQ(Real(look, "player_yaw_sum"), Real(look, "rounded_yaw_sum"));
    EXPECT_EQ(Real(look, "player_pitch_sum"), Real(look, "rounded_pitch_sum"));
    if (c.sensitivity == c.laterSensitivity) {
      EXPECT_NEAR(Real(look, "exact_yaw_sum"), -Number(mouse, "read_x") * c.sensitivity * unit, 1e-7);
      EXPECT_GT(std::fabs(Real(look, "exact_yaw_sum") - Real(look, "rounded_yaw_sum")), 3 * unit)
          << "rounding lost motion";
    } else {
      EXPECT_NEAR(Real(look, "exact_pitch_sum"), Real(look, "rounded_pitch_sum"), 1e-7) << "whole sensitivities";
    }
    ASSERT_GT(run.frames.size(), 100u);
    const auto& last = run.frames.back();
    EXPECT_NEAR(last.at("view_yaw"), 2 * Real(look, "player_yaw_sum"), 1e-5);
    EXPECT_EQ(last.at("view_pitch"), c.pitchEnd);

    size_t turns = 0;
    // Counted in ticks, not frames: a busy machine draws fewer frames, never fewer ticks.
    std::set<double> pinned;
    for (size_t i = 1; i < run.frames.size(); ++i) {
      const auto& frame = run.frames[i];
      const auto& before = run.frames[i - 1];
      if (frame.at("ticks") == before.at("ticks") + 1) {
        ExpectTickTurn(before, frame, frame.at("ticks") >= 30 ? c.laterSensitivity : c.sensitivity, c.invertY);
        turns += frame.at("read_x") != before.at("read_x") || frame.at("read_y") != before.at("read_y");
      }
      EXPECT_EQ(frame.at("drawn_yaw"), frame.at("view_yaw"));
      EXPECT_EQ(frame.at("drawn_pitch"), frame.at("view_pitch"));
      if (frame.at("view_pitch") == c.pitchEnd && frame.at("look_moving") == 1) pinned.insert(frame.at("ticks"));
    }
    EXPECT_GT(turns, 25u);
    EXPECT_TRUE(c.pitchEnd == 0 || pinned.size() >= 5)
        << pinned.size() << " ticks pinned at the limit while the hand pushed on";
  }
}

}  // namespace
}  // namespace driftglass
