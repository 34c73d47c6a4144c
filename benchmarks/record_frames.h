#pragma once
// The simulated game's record, as the report programs read it: one map of key to value per
// "frame" line, the mouse user's sends, and the statistics they print.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// Frames shown before this much of a run has passed are not measured.
constexpr double kWarmUpSeconds = 0.5;

using Frame = std::map<std::string, double>;

// Every line of one kind ("frame", "stage", "summary"), each as a map of key to value; text
// values are kept in text, numbers in the map.
struct RecordLine {
  Frame values;
  std::map<std::string, std::string> text;
};

inline std::vector<RecordLine> ReadRecordLines(const std::string& path, const std::string& kind) {
  std::vector<RecordLine> lines;
  std::ifstream in(path);
  std::string line;
  const std::string prefix = kind + " ";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    RecordLine parsed;
    std::istringstream fields(line.substr(prefix.size()));
    std::string field;
    while (fields >> field) {
      const size_t equals = field.find('=');
      const std::string key = field.substr(0, equals);
      parsed.values[key] = std::strtod(field.c_str() + equals + 1, nullptr);
      parsed.text[key] = field.substr(equals + 1);
    }
    lines.push_back(parsed);
  }
  return lines;
}

inline std::vector<Frame> ReadFrames(const std::string& path) {
  std::vector<Frame> frames;
  for (RecordLine& line : ReadRecordLines(path, "frame")) frames.push_back(std::move(line.values));
  return frames;
}

// A send after at least this long without any counts as the start of a new motion.
constexpr double kStillSeconds = 0.1;

struct Send {
  double t;  // seconds, the frame lines' clock
  int dx;
  int dy;
};

inline std::vector<Send> ReadSends(const std::string& path) {
  std::vector<Send> sends;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    Send s{};
    if (std::sscanf(line.c_str(), "input t=%lf dx=%d dy=%d", &s.t, &s.dx, &s.dy) == 3) sends.push_back(s);
  }
  return sends;
}

inline double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(std::ceil(fraction * values.size())) - 1)];
}

inline double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += v;
  return values.empty() ? 0 : sum / static_cast<double>(values.size());
}
