// Reads the simulated game's records of runs with a camera moving at constant speed and prints
// animation error as frame-pacing tools define it (for consecutive frames: how far the shown
// simulation time advanced minus how far the display time advanced), the lag of the shown pose
// behind the newest completed tick, the share of frames the plug-in drew between ticks, the
// plug-in's median time per frame, and how far the shown time strays from where the game's own
// clock puts the frame (p99).
//
// usage: animation_report [--field=NAME] LABEL=RECORD ...
//   --field names the record's column with the shown simulation time in ticks (default
//   drawn_ticks, the camera; prop_ticks, body_ticks and grunt_ticks follow world objects); it
//   applies to the records after it.
#include <cstdio>

#include "record_frames.h"

namespace {

constexpr double kTickMs = 1000.0 / 60.0;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: animation_report LABEL=RECORD ...\n");
    return 2;
  }
  std::printf("%-32s %7s %10s %10s %10s %8s %18s %12s\n", "run", "frames", "mean err", "p99 err",
              "mean lag", "interp", "plugin/frame", "off clock p99");
  std::string field = "drawn_ticks";
  for (int a = 1; a < argc; ++a) {
    const std::string argument = argv[a];
    if (argument.rfind("--field=", 0) == 0) {
      field = argument.substr(8);
      continue;
    }
    const size_t equals = argument.find('=');
    const std::vector<Frame> frames = ReadFrames(argument.substr(equals + 1));
    std::vector<double> errors, lags, offClock, plugin;
    size_t interpolated = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
      const Frame& f = frames[i];
      const Frame& previous = frames[i - 1];
      if (previous.at("wall") < kWarmUpSeconds) continue;
      const double shownMs = (f.at(field) - previous.at(field)) * kTickMs;
      // Display time: when the game began drawing, after anything the plug-in waited for.
      const char* const display = f.count("draw_wall") != 0 ? "draw_wall" : "wall";
      errors.push_back(std::fabs(shownMs - (f.at(display) - previous.at(display)) * 1000.0));
      lags.push_back((f.at("ticks") - f.at(field)) * kTickMs);
      offClock.push_back(std::fabs(f.at(field) - f.at("expected_ticks")) * kTickMs);
      plugin.push_back(f.at("render_us") - f.at("own_render_us"));
      interpolated += f.at("interpolated") > 0;
    }
    const double pluginUs = Percentile(plugin, 0.5);
    std::printf("%-32s %7zu %8.3fms %8.3fms %8.3fms %7.1f%% %8.2fus (%4.2f%%) %10.3fms\n",
                argument.substr(0, equals).c_str(), errors.size(), Mean(errors),
                Percentile(errors, 0.99), Mean(lags),
                errors.empty() ? 0.0 : 100.0 * interpolated / static_cast<double>(errors.size()),
                pluginUs, 100.0 * pluginUs / 4166.7, Percentile(offClock, 0.99));
  }
  return 0;
}
