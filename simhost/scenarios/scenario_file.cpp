#include "scenarios/scenario_file.h"

#include <windows.h>

#include "scenarios/scenario_events.h"
#include "scenarios/soak_plan.h"

#include <cstdlib>
#include <sstream>

namespace {

bool ParseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size();
}

bool ParsePacing(const std::string& text, Scenario& s) {
  if (text == "capped") {
    s.pacing = Pacing::kCapped;
    return true;
  }
  if (text == "uncapped") {
    s.pacing = Pacing::kUncapped;
    return true;
  }
  if (text.rfind("fixed:", 0) == 0) {
    s.pacing = Pacing::kFixed;
    return ParseNumber(text.substr(6), s.pacingHz) && s.pacingHz > 0;
  }
  if (text.rfind("jitter:", 0) == 0) {
    const size_t colon = text.find(':', 7);
    s.pacing = Pacing::kJitter;
    return colon != std::string::npos && ParseNumber(text.substr(7, colon - 7), s.pacingHz) &&
           ParseNumber(text.substr(colon + 1), s.jitterPercent) && s.pacingHz > 0 &&
           s.jitterPercent >= 0 && s.jitterPercent < 100;
  }
  return false;
}

bool ParseEvents(const std::string& text, Scenario& s) {
  static const char* const kNames[] = {"teleport", "between_move", "switch_camera", "switch_viewport",
                                       "hide", "visibility2", "offset68", "limit1500",
                                       "lean", "roll_turn",
                                       "hands_hidden", "switch_object", "two_objects",
                                       "attachment_twice", "attachment_foreign_parent",
                                       "attachment_readonly", "submeshes129", "palette129",
                                       "palette_misaligned", "bone_count", "bone_nan",
                                       "world_teleport", "world_sleep", "world_callbacks",
                                       "world_prop33", "world_reversed_bodies", "world_submeshes513",
                                       "world_readonly", "world_reuse", "world_reuse_near",
                                       "grunt_reuse_near", "prop_remove", "body_remove",
                                       "grunt_remove", "pose_ninth",
                                       "ragdoll_hidden", "ragdoll_rest", "ragdoll_one_body",
                                       "ragdoll_33", "enemy_skip", "pose_bone_count",
                                       "pose_readonly", "emitter4097", "particle_nan",
                                       "live_above_capacity", "trail_reentrant", "trail_clear", "stall",
                                       "gui_open", "double_read", "burst10000", "absolute_move",
                                       "window_recreate", "compare_key", "write_fault", "ini_rewrite"};
  std::istringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    CameraEvent event;
    const size_t at = item.find('@');
    if (at == std::string::npos) return false;
    event.name = item.substr(0, at);
    if (event.name.rfind("sensitivity", 0) == 0) {
      if (!ParseNumber(event.name.substr(11), event.value) || !(event.value > 0)) return false;
      event.name = "sensitivity";
    }
    bool known = event.name == "sensitivity";
    for (const char* name : kNames) known = known || event.name == name;
    if (!known) return false;
    const size_t colon = item.find(':', at);
    double tick = 0;
    double duration = 1;
    if (!ParseNumber(item.substr(at + 1, colon == std::string::npos ? std::string::npos : colon - at - 1), tick) ||
        (colon != std::string::npos && !ParseNumber(item.substr(colon + 1), duration))) {
      return false;
    }
    event.tick = static_cast<uint32_t>(tick);
    event.duration = static_cast<uint32_t>(duration);
    event.timed = colon != std::string::npos;
    s.events.push_back(event);
  }
  return true;
}

bool ParseFlag(const std::string& text, bool& flag) {
  flag = text == "1";
  return text == "0" || text == "1";
}

bool HasEvent(const Scenario& s, const char* name) {
  for (const CameraEvent& e : s.events) {
    if (e.name == name) return true;
  }
  return false;
}

// The mouse keys depend on each other; an impossible combination is an error, not a quiet
// run in which the mouse never reaches the game.
bool CheckMouse(Scenario& s, std::string& error) {
  if (s.mouseStopSeconds < 0) s.mouseStopSeconds = s.durationSeconds - 0.3;
  // Moves timed by ticks go straight into SDL when there is no window.
  const bool sends = (s.mousePattern != MousePattern::kNone && !s.mouseByTicks) || HasEvent(s, "burst10000") ||
                     HasEvent(s, "absolute_move");
  if (s.window == WindowMode::kNone && (sends || s.foreignForeground)) {
    error = "mouse input and foreign_foreground need window=visible or window=hidden";
  } else if (s.mousePattern != MousePattern::kNone &&
             (s.mouseRateHz <= 0 || s.mouseStartSeconds >= s.mouseStopSeconds ||
              s.mouseStopSeconds + 0.2 > s.durationSeconds)) {
    error = "the mouse user needs mouse_rate_hz > 0 and mouse_start_seconds < mouse_stop_seconds "
            "<= duration_seconds - 0.2, so every move reaches the game";
  } else {
    return true;
  }
  return false;
}

}  // namespace

bool ParseScenarioText(const std::string& text, Scenario& scenario, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    double number_value = 0;
    bool ok = true;
    if (key == "pacing") {
      ok = ParsePacing(value, scenario);
    } else if (key == "limit_fps") {
      ok = value == "0" || value == "1" || value == "2";
      scenario.limitFpsValue = value[0] - '0';
    } else if (key == "camera_motion") {
      ok = value == "linear" || value == "turn" || value == "pitch" || value == "walk_turn" || value == "mouse";
      scenario.cameraMotion = value == "turn"        ? CameraMotion::kTurn
                              : value == "pitch"     ? CameraMotion::kPitch
                              : value == "walk_turn" ? CameraMotion::kWalkTurn
                              : value == "mouse"     ? CameraMotion::kMouse
                                                     : CameraMotion::kLinear;
    } else if (key == "hands_sway") {
      ok = value == "0" || value == "1";
      scenario.handsSway = value == "1";
    } else if (key == "camera_write_log") {
      ok = value == "0" || value == "1";
      scenario.cameraWriteLog = value == "1";
    } else if (key == "events") {
      ok = ParseEvents(value, scenario);
    } else if (key == "window") {
      ok = value == "none" || value == "visible" || value == "hidden";
      scenario.window = value == "visible"  ? WindowMode::kVisible
                        : value == "hidden" ? WindowMode::kHidden
                                            : WindowMode::kNone;
    } else if (key == "mouse_pattern") {
      static const char* const kPatterns[] = {"none",  "sweep",       "flicks",  "jitter",
                                              "mixed", "sweep_right", "pitch_up"};
      ok = false;
      for (int i = 0; i < 7; ++i) {
        if (value != kPatterns[i]) continue;
        scenario.mousePattern = static_cast<MousePattern>(i);
        ok = true;
      }
    } else if (key == "mouse_timing") {
      ok = value == "wall" || value == "ticks";
      scenario.mouseByTicks = value == "ticks";
    } else if (key == "logic_digest") {
      ok = ParseFlag(value, scenario.logicDigest);
    } else if (key == "judge_frames") {
      ok = ParseFlag(value, scenario.judgeFrames);
    } else if (key == "world_layout") {
      ok = value == "spaced" || value == "heap";
      scenario.worldHeapLayout = value == "heap";
    } else if (key == "foreign_foreground") {
      ok = ParseFlag(value, scenario.foreignForeground);
    } else if (key == "smoothing") {
      ok = ParseFlag(value, scenario.smoothing);
    } else if (key == "invert_y") {
      ok = ParseFlag(value, scenario.invertY);
    } else if (key == "gui_relative") {
      ok = ParseFlag(value, scenario.guiRelative);
    } else if (IsSoakKey(key)) {
      ok = ParseSoakKey(key, value, scenario);
    } else if (ParseNumber(value, number_value) && number_value >= 0) {
      if (key == "duration_seconds") scenario.durationSeconds = number_value;
      else if (key == "camera_speed") scenario.cameraSpeed = number_value;
      else if (key == "idle_after_seconds") scenario.idleAfterSeconds = number_value;
      else if (key == "bootstrap_wait_seconds") scenario.bootstrapWaitSeconds = number_value;
      else if (key == "turn_rate") scenario.turnRate = number_value;
      else if (key == "logic_numerator") scenario.logicNumerator = number_value;
      else if (key == "logic_divisor") scenario.logicDivisor = number_value;
      else if (key == "phase_delay_percent") scenario.phaseDelayPercent = number_value;
      else if (key == "world_props") scenario.worldProps = static_cast<int>(number_value);
      else if (key == "world_multi_props") scenario.worldMultiProps = static_cast<int>(number_value);
      else if (key == "world_standalone") scenario.worldStandalone = static_cast<int>(number_value);
      else if (key == "world_grunts") scenario.worldGrunts = static_cast<int>(number_value);
      else if (key == "world_seed") scenario.worldSeed = static_cast<uint32_t>(number_value);
      else if (key == "world_asleep_percent" && number_value <= 100) scenario.worldAsleepPercent = static_cast<int>(number_value);
      else if (key == "pose_bones") scenario.poseBones = static_cast<int>(number_value);
      else if (key == "smoke_particles" && number_value <= 5000) scenario.smokeParticles = static_cast<int>(number_value);
      else if (key == "mouse_seed") scenario.mouseSeed = static_cast<uint32_t>(number_value);
      else if (key == "mouse_start_seconds") scenario.mouseStartSeconds = number_value;
      else if (key == "mouse_stop_seconds") scenario.mouseStopSeconds = number_value;
      else if (key == "mouse_rate_hz") scenario.mouseRateHz = number_value;
      else if (key == "sensitivity") scenario.sensitivity = number_value;
      else if (key == "write_fault_frames") scenario.writeFaultFrames = static_cast<uint32_t>(number_value);
      else ok = false;
    } else {
      ok = false;
    }
    if (!ok) {
      error = "line " + std::to_string(number) + ": cannot use \"" + line + "\"";
      return false;
    }
  }
  if (scenario.soakSeed != 0) AddSoakPlan(scenario);
  return CheckEventOverlaps(scenario, error) && CheckMouse(scenario, error);
}

bool LoadScenario(const std::wstring& path, Scenario& scenario, std::string& error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot open the scenario file";
    return false;
  }
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) text.append(chunk, read);
  CloseHandle(file);
  return ParseScenarioText(text, scenario, error);
}
