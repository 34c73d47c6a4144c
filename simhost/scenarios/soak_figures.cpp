#include "scenarios/soak_figures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace driftglass::soak {
namespace {

// Calls f for each line of a file of any size (without its line end).
template <typename F>
void ForEachLine(const std::wstring& path, F f) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return;
  std::vector<char> chunk(1 << 16);
  std::string line;
  while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), file) != nullptr) {
    line += chunk.data();
    if (line.empty() || line.back() != '\n') continue;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    f(line);
    line.clear();
  }
  if (!line.empty()) f(line);
  std::fclose(file);
}

// The text after "key=" where the key starts a word (or the line), up to the next blank.
bool Field(const std::string& line, const char* key, std::string& value, size_t from = 0) {
  const size_t length = std::strlen(key);
  for (size_t at = line.find(key, from); at != std::string::npos; at = line.find(key, at + 1)) {
    if ((at == 0 || line[at - 1] == ' ' || line[at - 1] == '(') && line.compare(at + length, 1, "=") == 0) {
      const size_t start = at + length + 1;
      value = line.substr(start, line.find_first_of(" ,)", start) - start);
      return true;
    }
  }
  return false;
}

double Number(const std::string& line, const char* key, size_t from = 0) {
  std::string value;
  return Field(line, key, value, from) ? std::strtod(value.c_str(), nullptr) : 0.0;
}

uint64_t Count(const std::string& line, const char* key, size_t from = 0) {
  std::string value;
  return Field(line, key, value, from) ? std::strtoull(value.c_str(), nullptr, 10) : 0;
}

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

struct DrawnFrame {
  double renderStart, renderEnd;
  uint64_t ticks;
};

void ReadRecord(const std::wstring& folder, SoakFigures& f, std::vector<DrawnFrame>& drawn) {
  std::vector<ProcessPoint> samples;
  ForEachLine(folder + L"\\record.txt", [&](const std::string& line) {
    f.recordRead = true;
    if (StartsWith(line, "frame ")) {
      const double start = Number(line, "qpc");
      drawn.push_back(DrawnFrame{start, start + Number(line, "render_us") * 1e-6, Count(line, "ticks")});
      f.keyPresses = Count(line, "key_presses");
    } else if (StartsWith(line, "summary ")) {
      f.frames = Count(line, "frames");
      f.ticks = Count(line, "ticks");
      f.onDraw = Count(line, "ondraw");
      f.onPostRender = Count(line, "onpostrender");
      f.checks = Count(line, "checks");
      f.failures = Count(line, "failures");
    } else if (StartsWith(line, "fact soak_event ")) {
      std::string family, name;
      Field(line, "family", family);
      Field(line, "name", name);
      ++f.eventsByFamily[family];
      ++f.eventsByName[name];
    } else if (StartsWith(line, "fact soak_pacing ")) {
      std::string pacing;
      Field(line, "pacing", pacing);
      ++f.pacings[pacing];
    } else if (StartsWith(line, "fact soak_warmup ")) {
      f.warmUpTick = static_cast<uint32_t>(Count(line, "until_tick"));
    } else if (StartsWith(line, "fact process ")) {
      ProcessPoint p;
      p.seconds = Number(line, "t");
      p.ticks = static_cast<uint32_t>(Count(line, "ticks"));
      p.privateBytes = Count(line, "private");
      p.workingSet = Count(line, "working_set");
      p.handles = Count(line, "handles");
      p.threads = Count(line, "threads");
      samples.push_back(p);
    } else if (StartsWith(line, "fact key_press ")) {
      f.keyPressesToTheGame += Count(line, "foreground");
    } else if (StartsWith(line, "fact mouse ")) {
      f.mouseReadX = static_cast<int64_t>(Number(line, "read_x") + Number(line, "gui_read_x"));
      f.mouseReadY = static_cast<int64_t>(Number(line, "read_y") + Number(line, "gui_read_y"));
      f.sdlX = static_cast<int64_t>(Number(line, "sdl_x"));
      f.sdlY = static_cast<int64_t>(Number(line, "sdl_y"));
    }
  });
  f.samples = samples.size();
  if (samples.empty()) return;
  f.start = samples.front();
  f.end = samples.back();
  size_t warm = 0;
  while (warm + 1 < samples.size() && samples[warm].ticks < f.warmUpTick) ++warm;
  f.warm = f.most = samples[warm];
  for (size_t i = warm; i < samples.size(); ++i) {
    const ProcessPoint& p = samples[i];
    if (p.privateBytes > f.most.privateBytes) f.most.privateBytes = p.privateBytes;
    if (p.workingSet > f.most.workingSet) f.most.workingSet = p.workingSet;
    if (p.handles > f.most.handles) f.most.handles = p.handles;
    if (p.threads > f.most.threads) f.most.threads = p.threads;
  }
}

void ReadLog(const std::wstring& folder, SoakFigures& f) {
  ForEachLine(folder + L"\\Driftglass.log", [&](const std::string& line) {
    const size_t head = line.find("] Telemetry interval=");
    if (head != std::string::npos) {
      f.telemetry = true;
      f.telemetryTicks += Count(line, "ticks", head);
      f.telemetrySceneRender += Count(line, "SceneRender", head);
      f.telemetryOnDraw += Count(line, "OnDraw", head);
      f.telemetryOnPostRender += Count(line, "OnPostRender", head);
      const size_t compare = line.find(" Compare(", head);
      if (compare != std::string::npos) f.compareSwitches += Count(line, "switches", compare);
    }
    const size_t totals = line.find("] MotionTrace written=");
    if (totals != std::string::npos) {
      f.traceWritten = Count(line, "written", totals);
      f.traceDropped = Count(line, "dropped", totals);
    }
  });
}

void ReadTrace(const std::wstring& folder, const std::vector<DrawnFrame>& drawn, SoakFigures& f) {
  bool header = true;
  ForEachLine(folder + L"\\Driftglass.motion.csv", [&](const std::string& line) {
    if (header) {
      header = false;
      return;
    }
    char* end = nullptr;
    const double seconds = std::strtod(line.c_str(), &end);
    const uint64_t tick = *end == ',' ? std::strtoull(end + 1, nullptr, 10) : 0;
    const uint64_t index = f.traceRows++;
    if (index >= drawn.size()) return;
    // Both clocks are the same performance counter, printed to the nanosecond.
    const DrawnFrame& frame = drawn[index];
    f.traceRowsOfTheirFrame += seconds >= frame.renderStart - 1e-6 && seconds <= frame.renderEnd + 1e-6 &&
                               tick == frame.ticks;
  });
}

}  // namespace

bool MeetsTheSoakBar(const SoakFigures& f) {
  return f.recordRead && f.failures == 0 && f.frames > 0 && f.traceRows == f.frames &&
         f.traceRowsOfTheirFrame == f.frames && f.traceWritten == f.frames && f.traceDropped == 0 &&
         f.telemetryTicks == f.ticks && f.telemetrySceneRender == f.frames && f.telemetryOnDraw == f.onDraw &&
         f.telemetryOnPostRender == f.onPostRender && f.compareSwitches == f.keyPressesToTheGame && f.mouseReadX == f.sdlX &&
         f.mouseReadY == f.sdlY && f.samples > 0 && f.most.privateBytes - f.warm.privateBytes <= kSoakPrivateBytesGrowth &&
         f.most.handles - f.warm.handles <= kSoakHandlesGrowth && f.most.threads - f.warm.threads <= kSoakThreadsGrowth;
}

SoakFigures ReadSoakFigures(const std::wstring& folder) {
  SoakFigures f;
  std::vector<DrawnFrame> drawn;
  ReadRecord(folder, f, drawn);
  ReadLog(folder, f);
  ReadTrace(folder, drawn, f);
  return f;
}

}  // namespace driftglass::soak
