// The look with the mouse, from the game's record of what it drew. Flicks: the time from a flick's
// first SendInput (after at least 100 ms without a send) to the first frame whose drawn yaw has
// moved, and to the first frame whose drawn yaw is where the game's own view came to rest after
// the flick. A steady sweep to the right: the drawn yaw's rate from frame to frame against the
// wall-clock time between the frames, its spread around the median rate over the steady part,
// and the frames that did not turn or turned backwards.
// Usage: look_report [--flicks] LABEL=RECORD... [--sweep] LABEL=RECORD...
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "record_frames.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMovedRadians = 1e-6;
constexpr double kReachedRadians = 1e-5;
constexpr double kSteadyAfterStartSeconds = 0.25;  // the sweep has reached the game's ticks

double Wrapped(double angle) { return angle - 2.0 * kPi * std::floor((angle + kPi) / (2.0 * kPi)); }

void PrintFlicks(const std::string& label, const std::vector<Frame>& frames, const std::vector<Send>& sends) {
  std::vector<double> moved, reached;
  for (size_t i = 0; i < sends.size();) {
    size_t end = i + 1;
    while (end < sends.size() && sends[end].t - sends[end - 1].t < kStillSeconds) ++end;
    const double start = sends[i].t;
    const double next = end < sends.size() ? sends[end].t : std::numeric_limits<double>::infinity();
    i = end;
    size_t k = 0;
    while (k < frames.size() && frames[k].at("wall") < start) ++k;
    size_t rest = k;  // the last frame before the next flick: the view has come to rest
    while (rest + 1 < frames.size() && frames[rest + 1].at("wall") < next) ++rest;
    if (k == 0 || rest >= frames.size() || frames[rest].at("wall") < sends[end - 1].t + 0.1) {
      continue;
    }
    const double from = frames[k - 1].at("drawn_yaw");
    const double to = frames[rest].at("view_yaw");
    if (std::fabs(Wrapped(to - from)) < 100 * kReachedRadians) continue;  // a flick without a turn
    bool hasMoved = false;
    for (size_t j = k; j <= rest; ++j) {
      const double drawn = frames[j].at("drawn_yaw");
      const double ms = (frames[j].at("wall") - start) * 1000.0;
      if (!hasMoved && std::fabs(Wrapped(drawn - from)) > kMovedRadians) {
        moved.push_back(ms);
        hasMoved = true;
      }
      if (std::fabs(Wrapped(drawn - to)) <= kReachedRadians) {
        reached.push_back(ms);
        break;
      }
    }
  }
  std::printf("%-34s %6zu %10.2f %10.2f %12.2f %12.2f\n", label.c_str(), moved.size(), Percentile(moved, 0.5),
              Percentile(moved, 0.95), Percentile(reached, 0.5), Percentile(reached, 0.95));
}

void PrintSweep(const std::string& label, const std::vector<Frame>& frames, const std::vector<Send>& sends) {
  if (sends.empty()) {
    std::printf("%-34s no sends in the record\n", label.c_str());
    return;
  }
  const double from = std::fmax(kWarmUpSeconds, sends.front().t + kSteadyAfterStartSeconds);
  const double to = sends.back().t;
  std::vector<double> rates, steps;
  for (size_t i = 1; i < frames.size(); ++i) {
    const double wall = frames[i].at("wall");
    if (frames[i - 1].at("wall") < from || wall > to) continue;
    const double step = Wrapped(frames[i].at("drawn_yaw") - frames[i - 1].at("drawn_yaw"));
    steps.push_back(step);
    rates.push_back(step / (wall - frames[i - 1].at("wall")));
  }
  const double median = Percentile(rates, 0.5);
  std::vector<double> spread;
  size_t still = 0, backwards = 0;
  for (size_t i = 0; i < rates.size(); ++i) {
    spread.push_back(std::fabs(rates[i] - median));
    still += std::fabs(steps[i]) <= kMovedRadians;
    backwards += steps[i] * median < 0 && std::fabs(steps[i]) > kMovedRadians;
  }
  std::printf("%-34s %6zu %10.3f %12.3f %12.3f %6zu %9zu\n", label.c_str(), rates.size(), median, Mean(spread),
              Percentile(spread, 0.99), still, backwards);
}

}  // namespace

int main(int argc, char** argv) {
  bool sweep = false;
  bool headed = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--flicks" || argument == "--sweep") {
      sweep = argument == "--sweep";
      headed = false;
      continue;
    }
    if (!headed) {
      headed = true;
      if (sweep) {
        std::printf("%-34s %6s %10s %12s %12s %6s %9s\n", "sweep (yaw rad/s)", "frames", "median", "mean |dev|",
                    "p99 |dev|", "still", "backwards");
      } else {
        std::printf("%-34s %6s %10s %10s %12s %12s\n", "flicks (ms after the send)", "flicks", "moved med",
                    "moved p95", "reached med", "reached p95");
      }
    }
    const size_t equals = argument.find('=');
    const std::string label = argument.substr(0, equals);
    const std::string path = argument.substr(equals + 1);
    const std::vector<Frame> frames = ReadFrames(path);
    const std::vector<Send> sends = ReadSends(path);
    if (sweep) {
      PrintSweep(label, frames, sends);
    } else {
      PrintFlicks(label, frames, sends);
    }
  }
  return 0;
}
