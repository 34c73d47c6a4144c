// Reads the simulated game's records and prints how fast its image trail fades: from the weight w
// each draw gives the new frame at the interval T it read, the share of the trail kept per second
// (ln(1 - w) / T, as a decay rate) and the half-life of a drawn frame in the buffer, with their
// distance from the 60 Hz figure of the gameplay amount (1).
//
// usage: trail_report LABEL=RECORD ...
#include <cmath>
#include <cstdio>

#include "record_frames.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: trail_report LABEL=RECORD ...\n");
    return 2;
  }
  const double sixtyHertz = 60.0 * std::log1p(-std::exp(-1.0 * 0.015 * 60.0));
  std::printf("60 Hz figure: decay %.3f per second, half-life %.2f ms\n", sixtyHertz, 1000.0 * std::log(0.5) / sixtyHertz);
  std::printf("%-30s %7s %16s %14s %12s\n", "run", "frames", "decay per second", "half-life", "vs 60 Hz");
  for (int a = 1; a < argc; ++a) {
    const std::string argument = argv[a];
    const size_t equals = argument.find('=');
    std::vector<double> decay;
    for (const Frame& f : ReadFrames(argument.substr(equals + 1))) {
      if (f.at("wall") < kWarmUpSeconds || !std::isfinite(f.at("trail_weight"))) continue;
      decay.push_back(std::log1p(-f.at("trail_weight")) / f.at("trail_interval"));
    }
    const double median = Percentile(decay, 0.5);
    std::printf("%-30s %7zu %16.3f %11.2f ms %+11.2f%%\n", argument.substr(0, equals).c_str(), decay.size(), median,
                1000.0 * std::log(0.5) / median, 100.0 * (median / sixtyHertz - 1.0));
  }
  return 0;
}
