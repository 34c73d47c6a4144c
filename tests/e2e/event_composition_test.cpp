// The simulated game's events compose: every event at once, then every pair of them overlapping
// in small company, with the plug-in disabled and with every feature on; the game's own checks
// must all hold. Two events that cannot overlap are refused when the game reads the scenario.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/build_paths.h"
#include "support/game_run.h"
#include "support/process_runner.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::GameRun;
using test::TelemetryTotal;

// The shipped INI (every feature on) with the motion trace and a report every second.
std::string EveryFeatureIni() {
  std::string ini = test::ReadFileBytes(DRIFTGLASS_BUILD_DIR L"\\dist\\Driftglass.ini");
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"MotionTrace=false", "MotionTrace=true"},
                                 {"ReportIntervalSeconds=5", "ReportIntervalSeconds=1"}}) {
    const size_t at = ini.find(from);
    if (at != std::string::npos) ini.replace(at, from.size(), to);
  }
  return ini;
}

struct Event {
  const char* name;
  uint32_t ticks;  // 0: an instant, written without a duration
};

// Every event the scenarios know, lasting long enough to overlap whatever starts with it. The
// events that otherwise last for good are given a duration. The two costly ones (a new window,
// 10000 queued moves) take part only in the all-at-once window.
const Event kEvents[] = {
    {"teleport", 0}, {"between_move", 0}, {"switch_camera", 0}, {"switch_viewport", 0}, {"hide", 12},
    {"visibility2", 12}, {"offset68", 12}, {"limit1500", 12}, {"lean", 12}, {"roll_turn", 12},
    {"hands_hidden", 12}, {"switch_object", 12},
    {"two_objects", 12}, {"attachment_twice", 12}, {"attachment_foreign_parent", 12}, {"attachment_readonly", 0},
    {"submeshes129", 6}, {"palette129", 6}, {"palette_misaligned", 6}, {"bone_count", 12}, {"bone_nan", 3},
    {"world_teleport", 0}, {"world_sleep", 12}, {"world_callbacks", 2}, {"world_prop33", 6},
    {"world_reversed_bodies", 6}, {"world_submeshes513", 4}, {"world_readonly", 0}, {"world_reuse", 2},
    {"world_reuse_near", 0}, {"grunt_reuse_near", 0}, {"prop_remove", 12}, {"body_remove", 12},
    {"grunt_remove", 12}, {"pose_ninth", 12}, {"ragdoll_hidden", 12}, {"ragdoll_rest", 12},
    {"ragdoll_one_body", 6}, {"ragdoll_33", 6}, {"enemy_skip", 3}, {"pose_bone_count", 12}, {"pose_readonly", 0},
    {"emitter4097", 6}, {"particle_nan", 3}, {"live_above_capacity", 3}, {"trail_reentrant", 0},
    {"trail_clear", 0}, {"stall", 0}, {"gui_open", 12}, {"double_read", 6}, {"absolute_move", 0},
    {"compare_key", 3}, {"sensitivity2", 0}, {"window_recreate", 0}, {"burst10000", 0},
};
constexpr size_t kCostly = 2;  // the last two
constexpr size_t kCompany = 14;
constexpr uint32_t kFirstTick = 60, kWindowTicks = 30;

std::string At(const Event& e, uint32_t tick) {
  std::string text = std::string(e.name) + "@" + std::to_string(tick);
  return e.ticks == 0 ? text : text + ":" + std::to_string(e.ticks);
}

// Windows of events that start together: first all of them, then groups of a few that together
// hold every pair of the cheap ones (greedy: each group grows by the event with the most pairs
// not yet held).
std::vector<std::vector<size_t>> Windows() {
  const size_t all = sizeof(kEvents) / sizeof(kEvents[0]), cheap = all - kCostly;
  std::vector<std::vector<size_t>> windows(1);
  for (size_t i = 0; i < all; ++i) windows[0].push_back(i);
  std::set<std::pair<size_t, size_t>> open;
  for (size_t a = 0; a < cheap; ++a) {
    for (size_t b = a + 1; b < cheap; ++b) open.insert({a, b});
  }
  const auto pairs = [&](const std::vector<size_t>& group, size_t e) {
    size_t count = 0;
    for (size_t m : group) count += open.count({std::min(m, e), std::max(m, e)});
    return count;
  };
  while (!open.empty()) {
    std::vector<size_t> group = {open.begin()->first, open.begin()->second};
    while (group.size() < kCompany) {
      size_t best = cheap, most = 0;
      for (size_t e = 0; e < cheap; ++e) {
        if (std::find(group.begin(), group.end(), e) != group.end()) continue;
        const size_t count = pairs(group, e);
        if (count > most) best = e, most = count;
      }
      if (best == cheap) break;
      group.push_back(best);
    }
    for (size_t a : group) {
      for (size_t b : group) open.erase({a, b});
    }
    windows.push_back(group);
  }
  return windows;
}

TEST(EventComposition, AnyTwoEventsOverlapWithoutBreakingTheGamesTruth) {
  const std::vector<std::vector<size_t>> windows = Windows();
  std::string events;
  uint64_t keyPresses = 0;
  uint32_t tick = kFirstTick;
  for (size_t w = 0; w < windows.size(); ++w, tick += kWindowTicks) {
    for (size_t e : windows[w]) {
      const Event& event = kEvents[e];
      const bool otherValue = std::string(event.name) == "sensitivity2" && w % 2 == 1;
      keyPresses += std::string(event.name) == "compare_key";
      if (!events.empty()) events += ",";
      events += At(otherValue ? Event{"sensitivity0.5", 0} : event, tick);
    }
  }
  std::string scenario = "duration_seconds=";
  scenario += std::to_string((tick + 60) / 60.0);
  scenario += "\nidle_after_seconds=1.3\npacing=fixed:144\nlimit_fps=0\nwindow=visible\ncamera_motion=mouse\n"
              "mouse_pattern=mixed\nmouse_rate_hz=500\nevents=" + events + "\n";
  const std::string allFeatures = EveryFeatureIni();
  ASSERT_NE(allFeatures.find("MotionTrace=true"), std::string::npos);
  for (const std::string& ini : {std::string("[General]\r\nEnabled=false\r\n"), allFeatures}) {
    SCOPED_TRACE(ini == allFeatures ? "every feature on" : "the plug-in disabled");
    const GameRun run = test::PlayGame(ini, scenario);
    test::ExpectCleanRun(run);
    EXPECT_GE(run.summary.at("checks"), 8 * run.summary.at("frames") + 5 * run.summary.at("ticks"))
        << "the game checked its truth at every tick and frame";
    EXPECT_GE(run.summary.at("ticks"), tick);
    const auto mouse = test::FactNumbers(run, "mouse");
    ASSERT_FALSE(mouse.empty());
    EXPECT_EQ(mouse.at("recreations"), 1);
    EXPECT_EQ(mouse.at("burst_x"), 5000);
    EXPECT_EQ(mouse.at("read_x") + mouse.at("gui_read_x"), mouse.at("sdl_x")) << "every count SDL2 received";
    EXPECT_EQ(mouse.at("read_y") + mouse.at("gui_read_y"), mouse.at("sdl_y"));
    uint64_t presses = 0;
    for (const std::string& fact : run.facts) presses += fact.rfind("key_press ", 0) == 0 && test::FieldValue(fact, "foreground") == 1;
    EXPECT_EQ(presses, keyPresses) << "every press made while the game had the foreground";
    if (ini != allFeatures) continue;
    EXPECT_EQ(TelemetryTotal(run, "Compare", "switches"), presses) << "every press the game's window could get";
    EXPECT_EQ(TelemetryTotal(run, "", "ticks"), run.summary.at("ticks"));
    EXPECT_EQ(TelemetryTotal(run, "", "SceneRender"), run.summary.at("frames"));
    EXPECT_EQ(test::TraceRows(run.motionTrace).size(), run.summary.at("frames"));
  }
}

// A key that is held down cannot be pressed again: the game refuses such a scenario and names
// both presses.
TEST(EventComposition, OverlappingPressesOfTheKeyAreRefusedWhenTheScenarioIsRead) {
  test::TempFolder folder;
  test::WriteFileBytes(folder.File(L"scenario.txt"), "duration_seconds=1\nevents=compare_key@90:5,compare_key@93\n");
  const std::wstring errors = folder.File(L"errors.txt");
  const test::ProcessResult result = test::RunProcess(
      L"\"" DRIFTGLASS_BUILD_DIR L"\\simhost\\simhost.exe\" --scenario \"" + folder.File(L"scenario.txt") +
          L"\" --record \"" + folder.File(L"record.txt") + L"\"",
      60000, errors);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.exitCode, 2u);
  EXPECT_NE(test::ReadFileBytes(errors).find(
                "simhost: scenario: events compare_key@90:5 and compare_key@93 overlap: the key is still held down, "
                "it cannot be pressed again before it is let go"),
            std::string::npos);
  EXPECT_FALSE(test::FileExists(folder.File(L"record.txt")));
}

}  // namespace
}  // namespace driftglass
