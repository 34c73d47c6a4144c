#include "scenarios/scenario_events.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

namespace {

constexpr uint32_t kNever = 0xFFFFFFFFu;
constexpr uint32_t kKeyHeldTicks = 3;  // a press holds the key at least this long

struct Instance {
  uint32_t tick;
  uint32_t end;  // first tick after it
  int index;     // in the scenario's event list
};

struct NamedEvents {
  std::vector<Instance> byTick;
  std::vector<Instance> spans;  // the union of the instances' spans, in order
  uint32_t foreverFrom = kNever;  // the first instance written without a duration
};

struct Index {
  const Scenario* scenario = nullptr;
  size_t count = 0;
  std::map<std::string, NamedEvents, std::less<>> names;
};

uint32_t EndOf(const CameraEvent& e) {
  const uint64_t end = uint64_t{e.tick} + (e.duration == 0 ? 1 : e.duration);
  return end < kNever ? static_cast<uint32_t>(end) : kNever;
}

const Index& IndexOf(const Scenario& s) {
  static Index index;
  if (index.scenario == &s && index.count == s.events.size()) return index;
  index = Index{};
  index.scenario = &s;
  index.count = s.events.size();
  for (size_t i = 0; i < s.events.size(); ++i) {
    const CameraEvent& e = s.events[i];
    NamedEvents& named = index.names[e.name];
    named.byTick.push_back(Instance{e.tick, EndOf(e), static_cast<int>(i)});
    if (!e.timed) named.foreverFrom = std::min(named.foreverFrom, e.tick);
  }
  for (auto& [name, named] : index.names) {
    std::stable_sort(named.byTick.begin(), named.byTick.end(),
                     [](const Instance& a, const Instance& b) { return a.tick < b.tick; });
    for (const Instance& i : named.byTick) {
      if (!named.spans.empty() && i.tick <= named.spans.back().end) {
        named.spans.back().end = std::max(named.spans.back().end, i.end);
      } else {
        named.spans.push_back(i);
      }
    }
  }
  return index;
}

const NamedEvents* Find(const Scenario& s, std::string_view name) {
  const Index& index = IndexOf(s);
  const auto found = index.names.find(name);
  return found == index.names.end() ? nullptr : &found->second;
}

}  // namespace

bool EventActive(const Scenario& s, const char* name, uint32_t tick) {
  const NamedEvents* named = Find(s, name);
  if (named == nullptr) return false;
  const auto after = std::upper_bound(named->spans.begin(), named->spans.end(), tick,
                                      [](uint32_t t, const Instance& span) { return t < span.tick; });
  return after != named->spans.begin() && tick < (after - 1)->end;
}

bool EventStarted(const Scenario& s, const char* name, uint32_t tick) {
  const NamedEvents* named = Find(s, name);
  return named != nullptr && (tick >= named->foreverFrom || EventActive(s, name, tick));
}

uint32_t EventsStartingAt(const Scenario& s, const char* name, uint32_t tick) {
  const NamedEvents* named = Find(s, name);
  if (named == nullptr) return 0;
  const auto range = std::equal_range(named->byTick.begin(), named->byTick.end(), Instance{tick, tick, 0},
                                      [](const Instance& a, const Instance& b) { return a.tick < b.tick; });
  return static_cast<uint32_t>(range.second - range.first);
}

EventCursor::EventCursor(const Scenario& s, const char* name) : list_(Find(s, name)) {}

bool EventCursor::Due(uint32_t tick) const {
  const auto* named = static_cast<const NamedEvents*>(list_);
  return named != nullptr && next_ < named->byTick.size() && named->byTick[next_].tick <= tick;
}

int EventCursor::Take(uint32_t tick) {
  if (!Due(tick)) return -1;
  return static_cast<const NamedEvents*>(list_)->byTick[next_++].index;
}

bool CheckEventOverlaps(const Scenario& s, std::string& error) {
  // A key that is held down cannot be pressed again before it is let go.
  const NamedEvents* presses = Find(s, "compare_key");
  if (presses == nullptr) return true;
  for (size_t i = 1; i < presses->byTick.size(); ++i) {
    const CameraEvent& held = s.events[static_cast<size_t>(presses->byTick[i - 1].index)];
    const CameraEvent& next = s.events[static_cast<size_t>(presses->byTick[i].index)];
    if (next.tick >= held.tick + std::max(held.duration, kKeyHeldTicks)) continue;
    error = "events compare_key@" + std::to_string(held.tick) + ":" + std::to_string(held.duration) +
            " and compare_key@" + std::to_string(next.tick) +
            " overlap: the key is still held down, it cannot be pressed again before it is let go";
    return false;
  }
  return true;
}
