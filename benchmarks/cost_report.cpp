// Reads the simulated game's records and prints what the plug-in costs: the median time in the
// render detour outside the game's own render work, in the renderer's model-matrix queries, and
// at each tick's end, with the frame's total as a share of a 240 Hz frame (4.17 ms).
//
// usage: cost_report LABEL=RECORD ...
#include <cstdio>

#include "record_frames.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: cost_report LABEL=RECORD ...\n");
    return 2;
  }
  std::printf("%-24s %7s %12s %12s %12s %12s %10s\n", "run", "frames", "apply+rest", "model queries",
              "per tick", "per frame", "of 240 Hz");
  for (int a = 1; a < argc; ++a) {
    const std::string argument = argv[a];
    const size_t equals = argument.find('=');
    const std::vector<Frame> frames = ReadFrames(argument.substr(equals + 1));
    std::vector<double> render, model, frameTotal;
    double tickSeconds = 0, ticks = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
      const Frame& f = frames[i];
      if (frames[i - 1].at("wall") < kWarmUpSeconds) continue;
      const double outside = f.at("render_us") - f.at("own_render_us");
      render.push_back(outside);
      model.push_back(f.at("model_us"));
      tickSeconds += f.at("tick_us");
      ticks += f.at("ticks") - frames[i - 1].at("ticks");
      frameTotal.push_back(outside + f.at("model_us"));
    }
    const double perTick = ticks > 0 ? tickSeconds / ticks : 0;
    const double perFrame = Percentile(frameTotal, 0.5);
    std::printf("%-24s %7zu %10.2fus %10.2fus %10.2fus %10.2fus %9.2f%%\n", argument.substr(0, equals).c_str(),
                render.size(), Percentile(render, 0.5), Percentile(model, 0.5), perTick, perFrame,
                100.0 * perFrame / 4166.7);
  }
  return 0;
}
