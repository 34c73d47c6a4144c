// The game plays the same with and without the plug-in: one scenario rich in everything that does
// not depend on the wall clock, its mouse moves delivered before the same ticks in every run, played
// without the plug-in (capped and uncapped: the game itself is deterministic) and with every feature
// on at several frame rates, with the compare key pressed and with the INI rewritten while playing.
// The game's digest of its logic after every tick must be the same over the runs' common ticks; the
// one part allowed to differ is the player's angles, by the look's dequantization, within the
// rounding it removes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/build_paths.h"
#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;
using Logic = std::map<std::string, std::string>;

const char* const kWorldParts[] = {"bodies",    "entities", "enemies", "poses", "world_state",
                                   "camera",    "hands",    "particles", "input"};

const std::string kScenario =
    "duration_seconds=4\nidle_after_seconds=0.2\nwindow=visible\ncamera_motion=walk_turn\nlogic_digest=1\n"
    "mouse_pattern=mixed\nmouse_timing=ticks\nmouse_start_seconds=0.1\nmouse_stop_seconds=3.4\n"
    "events=teleport@20,lean@30:40,roll_turn@75:20,world_teleport@40,world_sleep@50:30,world_reuse_near@60,"
    "world_reuse@70,prop_remove@80:15,body_remove@90:15,grunt_remove@100:15,grunt_reuse_near@110,ragdoll_rest@120,"
    "particle_nan@125:3,trail_clear@130,gui_open@140:30,gui_open@186:12,emitter4097@150:3,live_above_capacity@155:3,"
    "pose_ninth@160:20,world_prop33@170:5,ragdoll_33@175:5,switch_object@180,bone_nan@185:2,world_callbacks@190:2,"
    "sensitivity2@60,sensitivity0.35@150,double_read@100,enemy_skip@195:3,hands_hidden@200:5,ragdoll_one_body@205:3";

std::string Ini(const std::string& features) {
  return "[General]\r\nCompareKey=F9\r\n[Telemetry]\r\nReportIntervalSeconds=1\r\nMotionTrace=true\r\n"
         "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\nHandsRootInterpolation=true\r\n"
         "WorldRootInterpolation=true\r\nHandsPoseInterpolation=true\r\nWorldPoseInterpolation=true\r\n"
         "ImageTrailTiming=true\r\nMouseOverlay=true\r\n" + features;
}
const std::string kEveryFeature = Ini("ParticleInterpolation=true\r\n");

struct Play {
  const char* what;
  std::string ini;  // empty: without the plug-in
  std::string pacing;
  std::string events;                // beside the scenario's own
  std::vector<std::string> rewrites;  // the INI saved at each ini_rewrite event, in turn
};

GameRun PlayGame(const Play& p) {
  GameRun run;
  run.folder = std::make_unique<test::TempFolder>();
  for (size_t i = 0; i < p.rewrites.size(); ++i) {
    test::WriteFileBytes(run.folder->File(L"Driftglass.ini." + std::to_wstring(i + 1)), p.rewrites[i]);
  }
  test::GameSetup setup;
  setup.ini = p.ini.empty() ? test::kNoIni : p.ini;
  setup.loadPlugin = !p.ini.empty();
  setup.scenario = kScenario + p.events + "\n" + p.pacing;
  test::RunGame(setup, run);
  return run;
}

// The fields each part covers as docs/simulated-game.md lists them ("| `part` | `a`, `b` | ... |").
std::map<std::string, std::string> DocumentedFields() {
  std::istringstream docs(test::ReadFileBytes(std::wstring(DRIFTGLASS_SOURCE_DIR) + L"\\docs\\simulated-game.md"));
  std::map<std::string, std::string> parts;
  std::string line;
  bool inTable = false;
  while (std::getline(docs, line)) {
    if (line.rfind("| Part | Fields |", 0) == 0) inTable = true;
    if (!inTable || line.rfind("| `", 0) != 0) {
      if (inTable && line.empty()) break;
      continue;
    }
    const std::string part = line.substr(3, line.find('`', 3) - 3);
    const size_t cell = line.find('|', 2) + 1;
    const std::string fields = line.substr(cell, line.find('|', cell) - cell);
    std::string names;
    for (size_t at = fields.find('`'); at != std::string::npos; at = fields.find('`', fields.find('`', at + 1) + 1)) {
      if (!names.empty()) names += ',';
      names += fields.substr(at + 1, fields.find('`', at + 1) - at - 1);
    }
    parts[part] = names;
  }
  return parts;
}

// Over the common ticks: every part of the world the same; the player's angles the same or, where
// the dequantization handed the player the exact turn, off by at most twice the rounding the stock
// turns carried so far, each tick's counted either way (the player turns its camera by twice what
// it is given). A part that differs is
// named with the first tick it differs at and how many ticks it does.
void ExpectSameGame(const GameRun& stock, const GameRun& run, bool dequantized) {
  std::map<std::string, std::pair<std::string, size_t>> differ;  // part -> first tick, ticks
  size_t common = 0, anglesOff = 0;
  for (size_t i = 0; i < stock.logic.size() && i < run.logic.size(); ++i) {
    const Logic& a = stock.logic[i];
    const Logic& b = run.logic[i];
    ASSERT_EQ(a.at("tick"), b.at("tick"));
    ++common;
    for (const char* part : kWorldParts) {
      if (a.at(part) == b.at(part)) continue;
      auto& [first, ticks] = differ[part];
      if (ticks++ == 0) first = a.at("tick");
    }
    if (a.at("angles") == b.at("angles")) continue;
    ++anglesOff;
    for (const char* angle : {"yaw", "pitch"}) {
      const double bound = 2.0 * std::stod(a.at(std::string("rounding_") + angle)) + 1e-6;
      if (dequantized && std::fabs(std::stod(a.at(angle)) - std::stod(b.at(angle))) <= bound) continue;
      auto& [first, ticks] = differ[std::string("the player's ") + angle];
      if (ticks++ == 0) first = a.at("tick");
    }
  }
  for (const auto& [part, where] : differ) {
    ADD_FAILURE() << part << " differ from tick " << where.first << " on, at " << where.second << " ticks";
  }
  EXPECT_GT(common, 200u);
  if (dequantized) {
    EXPECT_GT(anglesOff, 0u) << "the sensitivity 0.35 turns leave something to dequantize";
  }
}

TEST(LogicProof, TheGamePlaysTheSameWithAndWithoutThePlugin) {
  const GameRun stock = PlayGame({"without the plug-in, capped", "", "pacing=capped", "", {}});
  test::ExpectCleanRun(stock);
  // Every part moves in this scenario, and covers the fields the docs say: a field left out shows.
  ASSERT_FALSE(stock.logic.empty());
  for (const auto& [part, fields] : stock.logicFields) {
    size_t changes = 0;
    for (size_t i = 1; i < stock.logic.size(); ++i) changes += stock.logic[i].at(part) != stock.logic[i - 1].at(part);
    EXPECT_GT(changes, 0u) << part;
  }
  EXPECT_EQ(stock.logicFields, DocumentedFields());
  EXPECT_NE(stock.logic.back().at("read_x"), "0") << "the mouse reached the game";

  const std::string rewritten = Ini("ParticleInterpolation=false\r\nCameraInterpolation=false\r\n");
  const Play plays[] = {
      {"without the plug-in, uncapped", "", "pacing=uncapped\nlimit_fps=0", "", {}},
      {"fixed 60 Hz", kEveryFeature, "pacing=fixed:60\nlimit_fps=0", "", {}},
      {"fixed 144 Hz, the compare key pressed twice", kEveryFeature, "pacing=fixed:144\nlimit_fps=0",
       ",compare_key@45:5,compare_key@100:5", {}},
      {"fixed 240 Hz", kEveryFeature, "pacing=fixed:240\nlimit_fps=0", "", {}},
      {"144 Hz +-30 %, the INI rewritten while playing", kEveryFeature, "pacing=jitter:144:30\nlimit_fps=0",
       ",ini_rewrite@30,ini_rewrite@120",
       {rewritten + "[Telemetry]\r\nMotionTrace=false\r\n", kEveryFeature + "[Timing]\r\nPhaseDelayPercent=30\r\n"}},
      {"uncapped", kEveryFeature, "pacing=uncapped\nlimit_fps=0", "", {}},
      {"uncapped with the limiter at 100", kEveryFeature + "PresentationLimiter=true\r\n[Timing]\r\nTargetFPS=100\r\n",
       "pacing=uncapped\nlimit_fps=0", "", {}},
  };
  for (const Play& p : plays) {
    SCOPED_TRACE(p.what);
    const GameRun run = PlayGame(p);
    test::ExpectCleanRun(run);
    const bool plugin = !p.ini.empty();
    if (plugin) {
      ASSERT_TRUE(run.HasLine("INFO Compatible x86 executable signatures accepted. Requested hooks are active."));
      size_t interpolated = 0;
      for (const auto& frame : run.frames) interpolated += frame.at("interpolated") != 0;
      EXPECT_GT(interpolated, 50u) << "the plug-in drew between ticks";
    }
    ExpectSameGame(stock, run, plugin);
  }
}

}  // namespace
}  // namespace driftglass
