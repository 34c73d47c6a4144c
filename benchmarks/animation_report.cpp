// Reads the simulated game's records of runs with a camera moving at constant speed and prints
// animation error as frame-pacing tools define it (for consecutive frames: how far the shown
// simulation time advanced minus how far the display time advanced), the lag of the shown pose
// behind the newest completed tick, the share of interpolated frames, and what a model of the
// fraction formula (logic-timer residual minus phase, clamped) predicts for the same frames.
//
// usage: animation_report SPEED LABEL=RECORD ...
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kWarmUpSeconds = 0.5;
constexpr double kTick = 1.0 / 60.0;

using Frame = std::map<std::string, double>;

std::vector<Frame> ReadFrames(const std::string& path) {
  std::vector<Frame> frames;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("frame ", 0) != 0) continue;
    Frame frame;
    std::istringstream fields(line.substr(6));
    std::string field;
    while (fields >> field) {
      const size_t equals = field.find('=');
      frame[field.substr(0, equals)] = std::strtod(field.c_str() + equals + 1, nullptr);
    }
    frames.push_back(frame);
  }
  return frames;
}

struct Figures {
  double meanErrorMs = 0, p99ErrorMs = 0, meanLagMs = 0, interpolatedShare = 0, medianPluginUs = 0;
  size_t frames = 0;
};

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(std::ceil(fraction * values.size())) - 1);
  return values[index];
}

// shown[i]: simulation seconds shown by frame i; wall[i]: display seconds.
Figures Measure(const std::vector<double>& wall, const std::vector<double>& shown,
                const std::vector<double>& newestTick, const std::vector<int>& interpolated,
                const std::vector<double>& pluginUs) {
  Figures f;
  std::vector<double> errors;
  double lag = 0;
  size_t counted = 0, interp = 0;
  for (size_t i = 1; i < wall.size(); ++i) {
    if (wall[i] < kWarmUpSeconds) continue;
    errors.push_back(std::fabs((shown[i] - shown[i - 1]) - (wall[i] - wall[i - 1])) * 1000.0);
    lag += (newestTick[i] - shown[i]) * 1000.0;
    interp += interpolated[i] != 0;
    ++counted;
  }
  if (counted == 0) return f;
  double sum = 0;
  for (double e : errors) sum += e;
  f.meanErrorMs = sum / static_cast<double>(errors.size());
  f.p99ErrorMs = Percentile(errors, 0.99);
  f.meanLagMs = lag / static_cast<double>(counted);
  f.interpolatedShare = static_cast<double>(interp) / static_cast<double>(counted);
  f.medianPluginUs = Percentile(pluginUs, 0.5);
  f.frames = counted;
  return f;
}

// The host's millisecond clock is integer. Its true offset from the wall clock is the largest
// observed (ticks - wall), since truncation only ever lowers the tick reading; a single reading
// can be up to 1 ms lower.
double ExactOffset(const std::vector<Frame>& frames) {
  double offset = -1e300;
  for (const Frame& f : frames) offset = std::max(offset, f.at("tick_ms") - f.at("wall") * 1000.0);
  return offset;
}
// The fraction formula applied to the frames' own times and the logic timer's schedule.
std::vector<double> ModelShown(const std::vector<Frame>& frames, double offset) {
  std::vector<double> shown;
  for (size_t i = 0; i < frames.size(); ++i) {
    const Frame& f = frames[i];
    const double ticks = f.at("ticks");
    double value = ticks * kTick;  // without a valid fraction the newest tick is shown
    if (i > 0 && ticks >= 2) {
      const double dt = f.at("wall") - frames[i - 1].at("wall");
      const double phase = std::min(std::max(dt / kTick, 0.0), 1.0) * 0.55;
      const double step = 1000.0 / 60.0;
      const double raw = (f.at("wall") * 1000.0 + offset - (f.at("next_due_ms") - step)) / step;
      const double adjusted = raw - phase;
      if (dt > 0 && dt <= 0.25 && raw >= -0.25 && raw <= 2.25 && adjusted >= -0.25 && adjusted <= 1.25) {
        value = (ticks - 1 + std::min(std::max(adjusted, 0.0), 1.0)) * kTick;
      }
    }
    shown.push_back(value);
  }
  return shown;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: animation_report SPEED LABEL=RECORD ...\n");
    return 2;
  }
  const double speed = std::strtod(argv[1], nullptr);
  std::printf("%-34s %8s %10s %10s %10s %9s %12s\n", "run", "frames", "mean err", "p99 err",
              "mean lag", "interp", "plugin/frame");
  for (int a = 2; a < argc; ++a) {
    const std::string argument = argv[a];
    const size_t equals = argument.find('=');
    const std::string label = argument.substr(0, equals);
    const std::string path = argument.substr(equals + 1);
    const std::vector<Frame> frames = ReadFrames(path);
    std::vector<double> wall, shown, newest, plugin;
    std::vector<int> interpolated;
    for (const Frame& f : frames) {
      wall.push_back(f.at("wall"));
      shown.push_back(f.at("drawn_x") / speed);
      newest.push_back(f.at("ticks") * kTick);
      interpolated.push_back(f.at("interpolated") > 0 ? 1 : 0);
      if (f.at("wall") >= kWarmUpSeconds) plugin.push_back(f.at("render_us") - f.at("own_render_us"));
    }
    const Figures m = Measure(wall, shown, newest, interpolated, plugin);
    std::printf("%-34s %8zu %8.3fms %8.3fms %8.3fms %8.1f%% %8.2fus %4.2f%%\n", label.c_str(), m.frames,
                m.meanErrorMs, m.p99ErrorMs, m.meanLagMs, 100.0 * m.interpolatedShare, m.medianPluginUs,
                100.0 * m.medianPluginUs / 4166.7);
    if (label.find("camera") != std::string::npos) {
      const struct {
        const char* name;
        double offset;
      } models[] = {{"  model of the fraction formula", ExactOffset(frames)}};
      for (const auto& model : models) {
        const std::vector<double> predicted = ModelShown(frames, model.offset);
        std::vector<int> modelInterpolated;
        for (size_t i = 0; i < predicted.size(); ++i) {
          modelInterpolated.push_back(std::fabs(predicted[i] - newest[i]) > 1e-9 ? 1 : 0);
        }
        const Figures p = Measure(wall, predicted, newest, modelInterpolated, plugin);
        const bool worse = m.meanErrorMs > 1.2 * p.meanErrorMs + 0.05 || m.p99ErrorMs > 1.2 * p.p99ErrorMs + 0.05;
        std::printf("%-34s %8s %8.3fms %8.3fms %8.3fms %8.1f%% %s\n", model.name, "", p.meanErrorMs,
                    p.p99ErrorMs, p.meanLagMs, 100.0 * p.interpolatedShare,
                    worse ? "measured more than 20% worse than this model" : "");
      }
    }
  }
  return 0;
}
