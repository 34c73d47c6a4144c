// Reads the simulated game's records of runs in which the logic keeps the hands at a fixed offset
// from a camera that moves and turns, and prints how steady the drawn hands are in the drawn
// view (frame-to-frame change of their transform relative to the camera, in units and radians),
// how far the drawn hand animation strays from the blend of its two ticks at the game's own
// fraction, and the plug-in's median time per frame.
//
// usage: hands_report LABEL=RECORD ...
#include <cstdio>

#include "record_frames.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: hands_report LABEL=RECORD ...\n");
    return 2;
  }
  std::printf("%-30s %7s %22s %24s %13s %18s\n", "run", "frames", "view shake mean/p99", "view turn mean/p99",
              "palette err", "plugin/frame");
  for (int a = 1; a < argc; ++a) {
    const std::string argument = argv[a];
    const size_t equals = argument.find('=');
    const std::vector<Frame> frames = ReadFrames(argument.substr(equals + 1));
    std::vector<double> moves, turns, plugin;
    double paletteError = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
      const Frame& f = frames[i];
      const Frame& p = frames[i - 1];
      if (p.at("wall") < kWarmUpSeconds) continue;
      const double dx = f.at("hands_rel_x") - p.at("hands_rel_x");
      const double dy = f.at("hands_rel_y") - p.at("hands_rel_y");
      const double dz = f.at("hands_rel_z") - p.at("hands_rel_z");
      moves.push_back(std::sqrt(dx * dx + dy * dy + dz * dz));
      turns.push_back(std::fabs(std::remainder(f.at("hands_rel_yaw") - p.at("hands_rel_yaw"), 6.283185307179586)));
      if (f.at("truth_valid") > 0 && f.at("palette_blended") > 0) paletteError = std::max(paletteError, f.at("palette_err"));
      plugin.push_back(f.at("render_us") - f.at("own_render_us"));
    }
    const double pluginUs = Percentile(plugin, 0.5);
    std::printf("%-30s %7zu %9.2e/%9.2e u %10.2e/%9.2e rad %13.2e %8.2fus (%4.2f%%)\n",
                argument.substr(0, equals).c_str(), moves.size(), Mean(moves), Percentile(moves, 0.99),
                Mean(turns), Percentile(turns, 0.99), paletteError, pluginUs, 100.0 * pluginUs / 4166.7);
  }
  return 0;
}
