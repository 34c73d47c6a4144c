#include "scenarios/soak_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "record/host_record.h"

namespace {

// How often an event comes (per minute of play) and how long it lasts, in ticks. Every event
// comes at least once in any soak; the costly ones (a burst of 10000 moves, a new window, a
// stall) are rare.
struct SoakEvent {
  const char* name;
  double perMinute;
  uint32_t shortest, longest;
  bool timed;  // written with its duration, also when it is one tick
};

const SoakEvent kEvents[] = {
    {"teleport", 3, 1, 1, false},           {"between_move", 3, 1, 1, false},
    {"switch_camera", 3, 1, 1, false},      {"switch_viewport", 3, 1, 1, false},
    {"hide", 2, 5, 60, true},               {"visibility2", 2, 5, 60, true},
    {"offset68", 2, 5, 40, true},           {"limit1500", 2, 5, 40, true},
    {"lean", 3, 20, 120, true},             {"roll_turn", 2, 10, 60, true},
    {"hands_hidden", 2, 10, 90, true},      {"switch_object", 2, 30, 300, true},
    {"two_objects", 2, 10, 90, true},       {"attachment_twice", 2, 5, 40, true},
    {"attachment_foreign_parent", 2, 5, 40, true},
    {"attachment_readonly", 2, 1, 1, false},
    {"submeshes129", 2, 2, 20, true},       {"palette129", 2, 2, 20, true},
    {"palette_misaligned", 2, 2, 20, true}, {"bone_count", 2, 30, 300, true},
    {"bone_nan", 2, 1, 5, true},            {"world_teleport", 3, 1, 1, false},
    {"world_sleep", 2, 30, 240, true},      {"world_callbacks", 2, 1, 3, true},
    {"world_prop33", 2, 2, 20, true},       {"world_reversed_bodies", 2, 2, 20, true},
    {"world_submeshes513", 2, 2, 10, true}, {"world_readonly", 2, 1, 1, false},
    {"world_reuse", 3, 1, 2, true},         {"world_reuse_near", 3, 1, 1, false},
    {"grunt_reuse_near", 3, 1, 1, false},   {"prop_remove", 3, 10, 120, true},
    {"body_remove", 3, 10, 120, true},      {"grunt_remove", 3, 10, 120, true},
    {"pose_ninth", 2, 30, 240, true},       {"ragdoll_hidden", 2, 10, 60, true},
    {"ragdoll_rest", 3, 60, 600, true},     {"ragdoll_one_body", 2, 5, 30, true},
    {"ragdoll_33", 2, 5, 30, true},         {"enemy_skip", 2, 1, 10, true},
    {"pose_bone_count", 2, 30, 300, true},  {"pose_readonly", 2, 1, 1, false},
    {"emitter4097", 2, 2, 30, true},        {"particle_nan", 2, 1, 10, true},
    {"live_above_capacity", 2, 1, 10, true},
    {"trail_reentrant", 2, 1, 1, false},    {"trail_clear", 3, 1, 1, false},
    {"stall", 1.5, 1, 1, false},            {"gui_open", 3, 30, 300, true},
    {"double_read", 2, 5, 60, true},        {"burst10000", 0.5, 1, 1, false},
    {"absolute_move", 2, 1, 1, false},      {"window_recreate", 0.5, 1, 1, false},
    {"sensitivity", 2, 1, 1, false},
};
constexpr double kPressesPerMinute = 3;
constexpr uint32_t kShortestPress = 3, kLongestPress = 30;

const char* const kCamera[] = {"teleport", "between_move", "switch_camera", "switch_viewport",
                               "hide", "visibility2", "offset68", "limit1500", "lean", "roll_turn"};
const char* const kHands[] = {"hands_hidden", "switch_object", "two_objects", "attachment_twice",
                              "attachment_foreign_parent", "attachment_readonly", "submeshes129",
                              "palette129", "palette_misaligned", "bone_count", "bone_nan"};
const char* const kWorld[] = {"world_teleport", "world_sleep", "world_callbacks", "world_prop33",
                              "world_reversed_bodies", "world_submeshes513", "world_readonly",
                              "world_reuse", "world_reuse_near", "grunt_reuse_near", "prop_remove",
                              "body_remove", "grunt_remove"};
const char* const kPoses[] = {"pose_ninth", "ragdoll_hidden", "ragdoll_rest", "ragdoll_one_body",
                              "ragdoll_33", "enemy_skip", "pose_bone_count", "pose_readonly"};
const char* const kEffects[] = {"emitter4097", "particle_nan", "live_above_capacity", "trail_reentrant",
                                "trail_clear"};
const char* const kStall[] = {"stall"};
const char* const kMouse[] = {"gui_open", "double_read", "burst10000", "absolute_move", "window_recreate",
                              "sensitivity"};
const char* const kKeyboard[] = {"compare_key"};

#define FAMILY(name, list) {name, list, static_cast<int>(sizeof(list) / sizeof(list[0]))}
const SoakFamily kFamilies[] = {FAMILY("camera", kCamera), FAMILY("hands", kHands),   FAMILY("world", kWorld),
                                FAMILY("poses", kPoses),   FAMILY("effects", kEffects), FAMILY("stall", kStall),
                                FAMILY("mouse", kMouse),   FAMILY("keyboard", kKeyboard)};
#undef FAMILY

// The pacings a stretch may take, and how long a stretch lasts in ticks.
const PacingStretch kPacings[] = {
    {0, Pacing::kFixed, 60, 0},   {0, Pacing::kFixed, 100, 0},   {0, Pacing::kFixed, 144, 0},
    {0, Pacing::kFixed, 240, 0},  {0, Pacing::kJitter, 100, 40}, {0, Pacing::kJitter, 144, 30},
    {0, Pacing::kUncapped, 0, 0},
};
constexpr uint32_t kShortestStretch = 180, kLongestStretch = 600;

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {  // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  uint32_t Between(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(Next() % (uint64_t{high} - low + 1));
  }

 private:
  uint64_t state_;
};

uint32_t Count(double perMinute, double minutes, Random& random) {
  const double drawn = std::floor(perMinute * minutes + random.Unit());
  return drawn < 1 ? 1u : static_cast<uint32_t>(drawn);
}

const char* FamilyOf(const std::string& name) {
  for (const SoakFamily& f : kFamilies) {
    for (int i = 0; i < f.count; ++i) {
      if (name == f.names[i]) return f.family;
    }
  }
  return "other";
}

std::string PacingText(const PacingStretch& p) {
  char text[48];
  switch (p.pacing) {
    case Pacing::kFixed: std::snprintf(text, sizeof(text), "fixed:%g", p.hz); break;
    case Pacing::kJitter: std::snprintf(text, sizeof(text), "jitter:%g:%g", p.hz, p.jitterPercent); break;
    case Pacing::kUncapped: std::snprintf(text, sizeof(text), "uncapped"); break;
    case Pacing::kCapped: std::snprintf(text, sizeof(text), "capped"); break;
  }
  return text;
}

}  // namespace

const SoakFamily* SoakFamilies(int& count) {
  count = static_cast<int>(sizeof(kFamilies) / sizeof(kFamilies[0]));
  return kFamilies;
}

bool IsSoakKey(const std::string& key) {
  return key == "soak_seed" || key == "process_samples" || key == "frame_record" || key == "progress_seconds";
}

bool ParseSoakKey(const std::string& key, const std::string& value, Scenario& scenario) {
  if (key == "process_samples") {
    scenario.processSamples = value == "1";
    return value == "0" || value == "1";
  }
  if (key == "frame_record") {
    scenario.shortFrameRecord = value == "short";
    return value == "short" || value == "full";
  }
  char* end = nullptr;
  if (key == "progress_seconds") {
    scenario.progressSeconds = std::strtod(value.c_str(), &end);
    return !value.empty() && *end == '\0' && scenario.progressSeconds > 0;
  }
  const unsigned long seed = std::strtoul(value.c_str(), &end, 10);
  scenario.soakSeed = static_cast<uint32_t>(seed);
  return !value.empty() && *end == '\0' && seed > 0 && seed <= 0xFFFFFFFFul;
}

namespace {

constexpr double kWarmUpSeconds = 15;

struct TickRange {
  uint32_t first, last;
};

// Ticks whose events the game plays: from the second second to two seconds before the end, so the
// game's last frames show it at rest (the mouse user stops then too).
TickRange EventTicks(const Scenario& s, double& ticksPerSecond) {
  ticksPerSecond = 1000.0 * s.logicDivisor / s.logicNumerator;
  const uint32_t ticks = static_cast<uint32_t>(s.durationSeconds * ticksPerSecond);
  const uint32_t first = static_cast<uint32_t>(ticksPerSecond);
  return TickRange{first, ticks > 4 * first ? ticks - 2 * first : 2 * first};
}

// One event of `kind` starting within the range, ending in it where it can.
CameraEvent Draw(const SoakEvent& kind, TickRange range, Random& random) {
  CameraEvent e;
  e.name = kind.name;
  e.duration = random.Between(kind.shortest, kind.longest);
  const uint32_t room = range.last > range.first + e.duration ? range.last - e.duration : range.first;
  e.tick = random.Between(range.first, room);
  e.timed = kind.timed;
  if (e.name == "sensitivity") e.value = 0.35 + 2.65 * random.Unit();
  return e;
}

// Presses of the compare key, none overlapping another: a held key cannot be pressed again.
void AddPresses(Scenario& s, uint32_t count, TickRange range, Random& random) {
  if (range.last < range.first + 2 * kLongestPress) return;
  std::vector<uint32_t> ticks;
  for (; count > 0; --count) ticks.push_back(random.Between(range.first, range.last - kLongestPress));
  std::sort(ticks.begin(), ticks.end());
  uint32_t free = range.first;
  for (const uint32_t tick : ticks) {
    CameraEvent e;
    e.name = "compare_key";
    e.tick = std::max(tick, free);
    e.duration = random.Between(kShortestPress, kLongestPress);
    e.timed = true;
    if (e.tick + e.duration > range.last) break;
    free = e.tick + e.duration + 2;
    s.events.push_back(e);
  }
}

}  // namespace

uint32_t SoakWarmUpEndTick(const Scenario& s) {
  double ticksPerSecond = 0;
  const TickRange range = EventTicks(s, ticksPerSecond);
  const uint32_t end = range.first + static_cast<uint32_t>(kWarmUpSeconds * ticksPerSecond);
  return std::min(end, range.first + (range.last - range.first) / 2);
}

// The warm-up has every event once, so whatever the game, the plug-in or the system set up at an
// event's first use is in place before the steady part; the steady part then has every event at
// its own rate, and at least once.
void AddSoakPlan(Scenario& s) {
  Random random(s.soakSeed);
  double ticksPerSecond = 0;
  const TickRange all = EventTicks(s, ticksPerSecond);
  const uint32_t ticks = static_cast<uint32_t>(s.durationSeconds * ticksPerSecond);
  const TickRange warmUp{all.first, SoakWarmUpEndTick(s)};
  const TickRange steady{warmUp.last, all.last};
  const double steadyMinutes = (steady.last - steady.first) / ticksPerSecond / 60.0;
  for (const SoakEvent& kind : kEvents) {
    CameraEvent first = Draw(kind, warmUp, random);
    first.duration = std::max(1u, std::min(first.duration, warmUp.last - first.tick));
    s.events.push_back(first);
    for (uint32_t n = Count(kind.perMinute, steadyMinutes, random); n > 0; --n) {
      s.events.push_back(Draw(kind, steady, random));
    }
  }
  AddPresses(s, 1, warmUp, random);
  AddPresses(s, Count(kPressesPerMinute, steadyMinutes, random), steady, random);
  // Pacing in stretches, each different from the one before.
  constexpr size_t kChoices = sizeof(kPacings) / sizeof(kPacings[0]);
  size_t previous = kChoices;
  for (uint32_t from = 0; from < ticks;) {
    size_t pick = random.Next() % (previous == kChoices ? kChoices : kChoices - 1);
    if (previous != kChoices && pick >= previous) ++pick;
    PacingStretch stretch = kPacings[pick];
    stretch.fromTick = from;
    s.pacingStretches.push_back(stretch);
    previous = pick;
    from += random.Between(kShortestStretch, kLongestStretch);
  }
}

void RecordSoakPlan(const Scenario& s, HostRecord& record) {
  if (s.soakSeed == 0) return;
  record.Line("fact soak_warmup until_tick=%u", SoakWarmUpEndTick(s));
  for (const CameraEvent& e : s.events) {
    record.Line("fact soak_event family=%s name=%s tick=%u duration=%u", FamilyOf(e.name), e.name.c_str(), e.tick,
                e.duration);
  }
  for (const PacingStretch& p : s.pacingStretches) {
    record.Line("fact soak_pacing from_tick=%u pacing=%s", p.fromTick, PacingText(p).c_str());
  }
}
