// GUI cursor latency: for every mouse motion that starts after the mouse was still, the time
// from the SendInput call to the first frame whose drawn GUI cursor has moved; and the plug-in's
// time per frame around the draw message and the render (the poll and the cursor update).
// Usage: gui_latency_report LABEL=RECORD...
#include <cstdio>
#include <string>
#include <vector>

#include "record_frames.h"

int main(int argc, char** argv) {
  std::printf("%-34s %6s %10s %10s %10s %12s %12s\n", "run", "starts", "median ms", "p95 ms", "max ms",
              "draw us", "render us");
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const size_t equals = argument.find('=');
    const std::string label = argument.substr(0, equals);
    const std::string path = argument.substr(equals + 1);
    const std::vector<Frame> frames = ReadFrames(path);
    const std::vector<Send> sends = ReadSends(path);
    std::vector<double> latencies;
    double previous = -1.0;
    for (const Send& send : sends) {
      const bool start = previous < 0 || send.t - previous >= kStillSeconds;
      previous = send.t;
      if (!start || (send.dx == 0 && send.dy == 0)) continue;
      // The cursor as drawn by the last frame before the send; the first later frame that differs.
      size_t k = 0;
      while (k < frames.size() && frames[k].at("wall") < send.t) ++k;
      if (k == 0 || k >= frames.size() || frames[k - 1].at("gui_open") == 0) continue;
      const double x = frames[k - 1].at("gui_x");
      const double y = frames[k - 1].at("gui_y");
      for (size_t j = k; j < frames.size() && frames[j].at("gui_open") != 0; ++j) {
        if (frames[j].at("gui_x") != x || frames[j].at("gui_y") != y) {
          latencies.push_back((frames[j].at("wall") - send.t) * 1000.0);
          break;
        }
      }
    }
    std::vector<double> draw, render;
    for (const Frame& f : frames) {
      if (f.at("wall") < kWarmUpSeconds) continue;
      if (f.count("draw_us") != 0) draw.push_back(f.at("draw_us"));
      render.push_back(f.at("render_us") - f.at("own_render_us"));
    }
    std::printf("%-34s %6zu %10.2f %10.2f %10.2f %12.2f %12.2f\n", label.c_str(), latencies.size(),
                Percentile(latencies, 0.5), Percentile(latencies, 0.95),
                latencies.empty() ? 0.0 : Percentile(latencies, 1.0), Percentile(draw, 0.5), Percentile(render, 0.5));
  }
  return 0;
}
