// Prints a soak's table: the same seed played with the plug-in and without it (the baseline), side
// by side; what the game counted and checked, what the trace and the telemetry say against it, and
// the process's private bytes, working set, handles and threads at the start, after the warm-up
// (every event once), at the end and at their largest from the warm-up on.
//
// usage: soak_report PLUGIN_FOLDER BASELINE_FOLDER
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "simhost/scenarios/soak_figures.h"

namespace {

using driftglass::soak::ProcessPoint;
using driftglass::soak::SoakFigures;

std::wstring Wide(const char* text) {
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), static_cast<int>(wide.size()));
  wide.pop_back();
  return wide;
}

void Row(const char* label, const std::string& plugin, const std::string& baseline) {
  std::printf("| %-50s | %-46s | %-46s |\n", label, plugin.c_str(), baseline.c_str());
}

std::string Of(uint64_t part, uint64_t whole) { return std::to_string(part) + " of " + std::to_string(whole); }

std::string Kilobytes(uint64_t bytes) { return std::to_string((bytes + 512) / 1024) + " KiB"; }

std::string Growth(uint64_t from, uint64_t to, bool bytes) {
  const long long change = static_cast<long long>(to) - static_cast<long long>(from);
  const long long shown = bytes ? (change >= 0 ? (change + 512) / 1024 : -((-change + 512) / 1024)) : change;
  return (change >= 0 ? "+" : "") + std::to_string(shown) + (bytes ? " KiB" : "");
}

template <typename Value>
void ProcessRows(const char* name, Value value, bool bytes, const SoakFigures& p, const SoakFigures& b) {
  const auto text = [&](const ProcessPoint& point) {
    return bytes ? Kilobytes(value(point)) : std::to_string(value(point));
  };
  const auto four = [&](const SoakFigures& f) {
    return text(f.start) + " / " + text(f.warm) + " / " + text(f.end) + " / " + text(f.most);
  };
  const std::string label = std::string(name) + ": start / warm-up / end / max";
  Row(label.c_str(), four(p), four(b));
  const std::string growth = std::string(name) + ": growth after the warm-up (max, end)";
  Row(growth.c_str(), Growth(value(p.warm), value(p.most), bytes) + ", " + Growth(value(p.warm), value(p.end), bytes),
      Growth(value(b.warm), value(b.most), bytes) + ", " + Growth(value(b.warm), value(b.end), bytes));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: soak_report PLUGIN_FOLDER BASELINE_FOLDER\n");
    return 2;
  }
  const SoakFigures p = driftglass::soak::ReadSoakFigures(Wide(argv[1]));
  const SoakFigures b = driftglass::soak::ReadSoakFigures(Wide(argv[2]));
  if (!p.recordRead || !b.recordRead) {
    std::fprintf(stderr, "soak_report: a record is missing\n");
    return 1;
  }
  const std::string none = "-";
  std::string pacings;
  for (const auto& [pacing, count] : p.pacings) pacings += (pacings.empty() ? "" : ", ") + pacing + " x" + std::to_string(count);
  std::printf("Pacing stretches (both runs): %s\n\n", pacings.c_str());
  Row("", "with the plug-in", "without it (baseline)");
  std::printf("|%s|%s|%s|\n", std::string(52, '-').c_str(), std::string(48, '-').c_str(), std::string(48, '-').c_str());
  Row("frames drawn", std::to_string(p.frames), std::to_string(b.frames));
  Row("ticks", std::to_string(p.ticks), std::to_string(b.ticks));
  std::set<std::string> families;
  for (const auto& [family, count] : p.eventsByFamily) families.insert(family);
  for (const std::string& family : families) {
    const std::string label = "events: " + family;
    const auto count = [&](const SoakFigures& f) {
      return std::to_string(f.eventsByFamily.count(family) ? f.eventsByFamily.at(family) : 0);
    };
    Row(label.c_str(), count(p), count(b));
  }
  Row("invariant checks made", std::to_string(p.checks), std::to_string(b.checks));
  Row("invariant checks broken", std::to_string(p.failures), std::to_string(b.failures));
  const auto presses = [](const SoakFigures& f) {
    return std::to_string(f.keyPresses) + " (" + std::to_string(f.keyPressesToTheGame) + " in the foreground)";
  };
  Row("F9 presses / compare switches (telemetry)", presses(p) + " / " + std::to_string(p.compareSwitches),
      presses(b) + " / " + none);
  Row("mouse counts read / received by SDL2 (x)", std::to_string(p.mouseReadX) + " / " + std::to_string(p.sdlX),
      std::to_string(b.mouseReadX) + " / " + std::to_string(b.sdlX));
  Row("trace rows in their own frame", Of(p.traceRowsOfTheirFrame, p.frames), none);
  Row("trace rows / written / dropped", std::to_string(p.traceRows) + " / " + std::to_string(p.traceWritten) + " / " +
                                            std::to_string(p.traceDropped), none);
  Row("telemetry ticks / game's ticks", std::to_string(p.telemetryTicks) + " / " + std::to_string(p.ticks), none);
  Row("telemetry SceneRender / frames drawn", std::to_string(p.telemetrySceneRender) + " / " + std::to_string(p.frames), none);
  Row("telemetry OnDraw / game's OnDraw", std::to_string(p.telemetryOnDraw) + " / " + std::to_string(p.onDraw), none);
  Row("telemetry OnPostRender / game's", std::to_string(p.telemetryOnPostRender) + " / " + std::to_string(p.onPostRender),
      none);
  Row("process samples (warm-up ends at tick)", std::to_string(p.samples) + " (" + std::to_string(p.warmUpTick) + ")",
      std::to_string(b.samples) + " (" + std::to_string(b.warmUpTick) + ")");
  ProcessRows("private bytes", [](const ProcessPoint& x) { return x.privateBytes; }, true, p, b);
  const long long share = (static_cast<long long>(p.most.privateBytes) - static_cast<long long>(p.warm.privateBytes)) -
                          (static_cast<long long>(b.most.privateBytes) - static_cast<long long>(b.warm.privateBytes));
  Row("private bytes: the plug-in's share of that growth",
      (share >= 0 ? "+" : "-") + Kilobytes(static_cast<uint64_t>(share >= 0 ? share : -share)), none);
  ProcessRows("working set", [](const ProcessPoint& x) { return x.workingSet; }, true, p, b);
  ProcessRows("handles", [](const ProcessPoint& x) { return x.handles; }, false, p, b);
  ProcessRows("threads", [](const ProcessPoint& x) { return x.threads; }, false, p, b);
  const bool met = driftglass::soak::MeetsTheSoakBar(p) && b.failures == 0;
  std::printf("\nBar (nothing broken, every frame in the trace once, telemetry = the game's counts, after the warm-up\n"
              "private bytes +%llu KiB, handles +%llu, threads +%llu at most): %s\n",
              static_cast<unsigned long long>(driftglass::soak::kSoakPrivateBytesGrowth / 1024),
              static_cast<unsigned long long>(driftglass::soak::kSoakHandlesGrowth),
              static_cast<unsigned long long>(driftglass::soak::kSoakThreadsGrowth), met ? "met" : "NOT MET");
  return met ? 0 : 1;
}
