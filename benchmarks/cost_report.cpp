// Reads the simulated game's records and prints what the plug-in costs: the median time in the
// render detour outside the game's own render work, in the renderer's model-matrix queries, and
// at each tick's end, with the frame's total as a share of a 240 Hz frame (4.17 ms); and, for a
// measurement build of the plug-in, how many memory-region queries its guarded checks made per
// frame and per tick, with their share of the time at the cost of one query measured here.
//
// usage: cost_report LABEL=RECORD ...
#include <windows.h>

#include <cstdio>
#include <utility>

#include "record_frames.h"

namespace {

// One VirtualQuery on this machine, in microseconds.
double RegionQueryMicroseconds() {
  static char probe[4096];
  MEMORY_BASIC_INFORMATION info;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  constexpr int kQueries = 20000;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < kQueries; ++i) VirtualQuery(probe + (i & 1023), &info, sizeof(info));
  QueryPerformanceCounter(&end);
  return static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) / kQueries;
}

// The measurement build's stage table: what each stage costs per tick (staging, capture, physics)
// or per frame (apply, restore, model matrices, draw message), and the plug-in's whole time on
// the main thread and on the physics threads per second of play. "own" is the plug-in's own work:
// the stage's time less the time inside its region queries and inside its calls into the game
// (each timed where it happened), less what the meter adds to each call. The price of a query in
// a loop over the same regions at the run's end is printed beside the one the run paid.
struct StageCosts {
  double tickUs = 0, tickOwnUs = 0, frameUs = 0, frameOwnUs = 0, tickQueries = 0, frameQueries = 0;
};

StageCosts PrintStages(const std::string& label, const std::string& path) {
  StageCosts costs;
  const std::vector<RecordLine> stages = ReadRecordLines(path, "stage");
  const std::vector<RecordLine> summary = ReadRecordLines(path, "summary");
  const std::vector<RecordLine> calibration = ReadRecordLines(path, "stage_calibration");
  if (stages.empty() || summary.empty()) return costs;
  const double loopQueryUs = calibration.empty() ? 0 : calibration[0].values.at("query_us");
  const auto value = [](const RecordLine& s, const char* key) {
    return s.values.count(key) != 0 ? s.values.at(key) : 0.0;
  };
  const RecordLine none;
  const RecordLine& prices = calibration.empty() ? none : calibration[0];
  const double meterUs = value(prices, "stage_us");
  const auto own = [&](const RecordLine& s) {
    return s.values.at("us") - value(s, "query_us") - value(s, "host_us") - s.values.at("calls") * meterUs -
           s.values.at("queries") * value(prices, "meter_query_us") -
           s.values.at("host_calls") * value(prices, "meter_host_call_us");
  };
  const double ticks = summary[0].values.at("ticks");
  const double frames = summary[0].values.at("frames");
  const double seconds = summary[0].values.at("seconds");
  double mainUs = 0, physicsUs = 0, tickUs = 0, frameUs = 0, tickOwn = 0, frameOwn = 0;
  double tickQueries = 0, frameQueries = 0, queries = 0, queryUs = 0;
  for (const RecordLine& s : stages) {
    if (s.text.at("parent") != "-") continue;  // included in its parent
    const std::string side = s.text.at("side");
    const double us = s.values.at("us");
    (side == "physics" ? physicsUs : mainUs) += us;
    (side == "frame" ? frameUs : tickUs) += us;
    (side == "frame" ? frameOwn : tickOwn) += own(s);
    (side == "frame" ? frameQueries : tickQueries) += s.values.at("queries");
    queries += s.values.at("queries");
    queryUs += value(s, "query_us");
  }
  if (ticks > 0) costs = {tickUs / ticks, tickOwn / ticks, 0, 0, tickQueries / ticks, 0};
  if (frames > 0) {
    costs.frameUs = frameUs / frames;
    costs.frameOwnUs = frameOwn / frames;
    costs.frameQueries = frameQueries / frames;
  }
  std::printf("%s: main thread %.0f us per second of play (%.2f %%), physics threads %.0f us per second; "
              "per tick %.1f us (own %.1f), per frame %.1f us (own %.1f; %.2f %% of 240 Hz); "
              "region queries per frame %.0f, per tick %.0f (%.3f us each in the run, %.3f in a loop); "
              "meter %.3f us a stage call, %.3f a query, %.3f a host call\n",
              label.c_str(), mainUs / seconds, mainUs / seconds / 1e4, physicsUs / seconds, costs.tickUs,
              costs.tickOwnUs, costs.frameUs, costs.frameOwnUs, 100.0 * costs.frameUs / 4166.7,
              costs.frameQueries, costs.tickQueries, queries > 0 ? queryUs / queries : 0.0, loopQueryUs, meterUs,
              value(prices, "meter_query_us"), value(prices, "meter_host_call_us"));
  std::printf("  %-22s %5s %9s %10s %10s %9s %9s %9s %9s %9s %15s\n", "stage", "per", "calls", "us", "own us",
              "queries", "query us", "host calls", "host us", "sys calls", "sampled q/regions");
  for (const RecordLine& s : stages) {
    if (s.values.at("calls") == 0) continue;
    const bool frame = s.text.at("side") == "frame";
    const double per = frame ? frames : ticks;
    if (per <= 0) continue;
    const std::string name = (s.text.at("parent") != "-" ? "  " : "") + s.text.at("name");
    std::printf("  %-22s %5s %9.2f %10.2f %10.2f %9.1f %9.2f %9.1f %9.2f %9.1f %7.0f/%-7.0f\n", name.c_str(),
                frame ? "frame" : "tick", s.values.at("calls") / per, s.values.at("us") / per, own(s) / per,
                s.values.at("queries") / per, value(s, "query_us") / per, s.values.at("host_calls") / per,
                value(s, "host_us") / per, s.values.at("system_calls") / per, s.values.at("sampled_queries"),
                s.values.at("sampled_regions"));
  }
  return costs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: cost_report LABEL=RECORD ...\n");
    return 2;
  }
  const double queryUs = RegionQueryMicroseconds();
  std::printf("one region query: %.2f us\n", queryUs);
  std::printf("%-24s %7s %12s %12s %12s %12s %10s %22s %22s\n", "run", "frames", "apply+rest", "model queries",
              "per tick", "per frame", "of 240 Hz", "region queries/frame", "region queries/tick");
  for (int a = 1; a < argc; ++a) {
    const std::string argument = argv[a];
    const size_t equals = argument.find('=');
    const std::vector<Frame> frames = ReadFrames(argument.substr(equals + 1));
    std::vector<double> render, model, frameTotal, frameQueries;
    double tickSeconds = 0, ticks = 0, tickQueries = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
      const Frame& f = frames[i];
      if (frames[i - 1].at("wall") < kWarmUpSeconds) continue;
      const double outside = f.at("render_us") - f.at("own_render_us");
      render.push_back(outside);
      model.push_back(f.at("model_us"));
      tickSeconds += f.at("tick_us");
      tickQueries += f.at("queries_tick");
      frameQueries.push_back(f.at("queries_frame"));
      ticks += f.at("ticks") - frames[i - 1].at("ticks");
      frameTotal.push_back(outside + f.at("model_us"));
    }
    const double perTick = ticks > 0 ? tickSeconds / ticks : 0;
    const double queriesPerTick = ticks > 0 ? tickQueries / ticks : 0;
    const double perFrame = Percentile(frameTotal, 0.5);
    const double queriesPerFrame = Percentile(frameQueries, 0.5);
    if (frames.size() > 1 && frames.back().count("emitters_us") != 0) {
      std::vector<double> emitters;
      for (const Frame& f : frames) emitters.push_back(f.at("emitters_us"));
      std::printf("%-24s emitter vertex builds (median, with the plug-in's particle path): %.2fus\n",
                  argument.substr(0, equals).c_str(), Percentile(emitters, 0.5));
    }
    std::printf("%-24s %7zu %10.2fus %10.2fus %10.2fus %10.2fus %9.2f%% %8.0f (%5.1f%% of it) %8.0f (%5.1f%% of it)\n",
                argument.substr(0, equals).c_str(), render.size(), Percentile(render, 0.5),
                Percentile(model, 0.5), perTick, perFrame, 100.0 * perFrame / 4166.7, queriesPerFrame,
                perFrame > 0 ? 100.0 * queriesPerFrame * queryUs / perFrame : 0.0, queriesPerTick,
                perTick > 0 ? 100.0 * queriesPerTick * queryUs / perTick : 0.0);
  }
  std::vector<std::pair<std::string, StageCosts>> table;
  for (int a = 1; a < argc; ++a) {
    const std::string argument = argv[a];
    const size_t equals = argument.find('=');
    table.emplace_back(argument.substr(0, equals), PrintStages(argument.substr(0, equals), argument.substr(equals + 1)));
  }
  // The plug-in's own work beside its whole cost, per frame and per tick (measurement builds only).
  std::printf("\n%-34s %14s %14s %14s %14s %16s\n", "run", "frame us", "frame own us", "tick us", "tick own us",
              "queries f / t");
  for (const auto& [label, c] : table) {
    if (c.frameUs == 0 && c.tickUs == 0) continue;
    std::printf("%-34s %14.1f %14.1f %14.1f %14.1f %8.0f / %-6.0f\n", label.c_str(), c.frameUs, c.frameOwnUs,
                c.tickUs, c.tickOwnUs, c.frameQueries, c.tickQueries);
  }
  return 0;
}
