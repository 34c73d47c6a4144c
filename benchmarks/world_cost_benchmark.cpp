// The world roots' own work away from any game: 512 moving single-body props, a page apart or
// placed as an allocator would, staged and captured tick after tick, and four frames a tick
// applied, asked for every sub-mesh's model matrix and restored. Built with the stage meter: each
// step's time less the time inside its region queries is its own work, and the least of many
// ticks and frames is printed (the median beside it), so that a busy machine moves the figures
// as little as possible.
//
// usage: world_cost_benchmark [ROUNDS]
#include <windows.h>
#include <x86intrin.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/hook_slots.h"
#include "measure/stage_meter.h"
#include "world/world_root_interpolator.h"

namespace {

using namespace driftglass;

// Where these stand-ins keep what the engine calls answer.
constexpr size_t kWorldPointer = 0x08;
constexpr size_t kAwake = 0x10;
constexpr size_t kMatrix = 0x100;  // the entity's own world matrix
constexpr size_t kSubMeshOwnerMesh = 0x370;
constexpr size_t kSubMeshBody = 0x288;
constexpr size_t kArrays = 0x900;
constexpr size_t kObjectBytes = 0xA00;
constexpr int kProps = 512;
constexpr int kSubMeshesPerProp = 2;
constexpr int kFramesPerTick = 4;

template <typename T>
void Put(uint8_t* object, size_t offset, T value) {
  memcpy(object + offset, &value, sizeof(value));
}
template <typename T>
T Get(const void* object, size_t offset) {
  T value;
  memcpy(&value, static_cast<const uint8_t*>(object) + offset, sizeof(value));
  return value;
}

const float* DRIFTGLASS_THISCALL GetWorldMatrix(void* entity) { return Get<const float*>(entity, kWorldPointer); }
uint8_t DRIFTGLASS_THISCALL GetEnabled(void* body) { return Get<uint8_t>(body, kAwake); }

struct World {
  uint8_t* arena = nullptr;
  size_t used = 0;
  uint32_t state = 1;
  bool heap = false;
  std::vector<uint8_t*> props, bodies, subMeshes;

  uint8_t* New() {
    size_t size = 0x1000;
    if (heap) {
      state = state * 1664525u + 1013904223u;
      size = std::max<size_t>(kObjectBytes, (0x100 + (state >> 8) % 0x1F00 + 15) & ~size_t{15});
    }
    uint8_t* object = arena + used;
    used += size;
    memset(object, 0, kObjectBytes);
    Put(object, kWorldPointer, reinterpret_cast<float*>(object + kMatrix));
    float* m = reinterpret_cast<float*>(object + kMatrix);
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return object;
  }

  explicit World(bool heapLayout) : heap(heapLayout) {
    arena = static_cast<uint8_t*>(VirtualAlloc(nullptr, 32 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    for (int p = 0; p < kProps; ++p) {
      uint8_t* body = New();
      body[kAwake] = 1;
      uint8_t* mesh = New();
      Put<uint32_t>(mesh, 0x04, 0x100 + p);
      mesh[0x24] = 1;
      uint8_t* prop = New();
      Put<uint32_t>(prop, 0x40, 0x200 + p);
      Put(prop, kArrays, body);
      Put(prop, 0x260, prop + kArrays);
      Put(prop, 0x264, prop + kArrays + 4);
      Put(prop, 0x340, mesh);
      for (int s = 0; s < kSubMeshesPerProp; ++s) {
        uint8_t* sub = New();
        Put(sub, kSubMeshOwnerMesh, mesh);
        Put(sub, kSubMeshBody, body);
        Put(mesh, kArrays + 4 * s, sub);
        subMeshes.push_back(sub);
      }
      Put(mesh, 0x30C, mesh + kArrays);
      Put(mesh, 0x310, mesh + kArrays + 4 * kSubMeshesPerProp);
      props.push_back(prop);
      bodies.push_back(body);
    }
  }
  ~World() { VirtualFree(arena, 0, MEM_RELEASE); }

  // Physics of one tick: every body moves on and turns a little.
  void Step(uint64_t tick) {
    for (size_t b = 0; b < bodies.size(); ++b) {
      float* m = reinterpret_cast<float*>(bodies[b] + kMatrix);
      const double angle = 0.002 * static_cast<double>(tick) * (b % 3);
      m[0] = m[10] = static_cast<float>(std::cos(angle));
      m[2] = static_cast<float>(std::sin(angle));
      m[8] = -m[2];
      m[3] = 0.01f * static_cast<float>(tick) + static_cast<float>(b);
    }
    for (uint8_t* sub : subMeshes) {
      memcpy(sub + kMatrix, Get<uint8_t*>(sub, kSubMeshBody) + kMatrix, 64);
    }
  }
};

struct Samples {
  std::vector<double> us;
  double Least() const { return *std::min_element(us.begin(), us.end()); }
  double Median() {
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
  }
};

// Times one step as a stage and keeps its own work: its time less its region queries' and less
// what the meter itself adds.
class OwnWork {
 public:
  OwnWork(uint32_t stage, double perUs, double meterTicks)
      : stage_(stage), perUs_(perUs), meterTicks_(meterTicks) {}
  template <typename Step>
  void Time(Step step, bool keep) {
    const MeasuredStageTotals before = ReadStageTotals(stage_);
    {
      StageScope scope(stage_);
      step();
    }
    const MeasuredStageTotals after = ReadStageTotals(stage_);
    const double ticks = static_cast<double>(after.counterTicks - before.counterTicks) -
                         static_cast<double>(after.queryTicks - before.queryTicks) -
                         static_cast<double>(after.hostTicks - before.hostTicks) - meterTicks_;
    queries_ = static_cast<uint32_t>(after.regionQueries - before.regionQueries);
    if (keep) samples_.us.push_back(ticks / perUs_);
  }
  Samples& samples() { return samples_; }
  uint32_t queries() const { return queries_; }

 private:
  uint32_t stage_;
  double perUs_;
  double meterTicks_;
  uint32_t queries_ = 0;
  Samples samples_;
};

void Run(const char* name, bool heap, int rounds) {
  World world(heap);
  static WorldRootTracker tracker;
  static WorldRootInterpolator interpolator(tracker);
  interpolator.Configure(reinterpret_cast<uintptr_t>(&GetWorldMatrix), 0, reinterpret_cast<uintptr_t>(&GetEnabled));
  const double perUs = MeasuredTicksPerSecond() / 1e6;
  const double meter = MeasureMeterOverheads(10000).stageTicks;
  OwnWork stage(kStagePropUpdate, perUs, meter), capture(kStageWorldCapture, perUs, meter),
      apply(kStageWorldApply, perUs, meter), models(kStageModelMatrix, perUs, meter),
      restore(kStageFrameRestore, perUs, meter);
  uint32_t corrected = 0;
  for (uint64_t tick = 1; tick <= static_cast<uint64_t>(rounds); ++tick) {
    world.Step(tick);
    const bool keep = tick > 8;
    stage.Time([&] {
      for (uint8_t* prop : world.props) {
        WorldPropInfo info;
        interpolator.StageProp(prop, tick, info);
      }
    }, keep);
    capture.Time([&] { interpolator.Capture(tick, 1); }, keep);
    for (int f = 0; f < kFramesPerTick && keep; ++f) {
      ClockSample sample;
      sample.kind = kSampleInterpolated;
      sample.generation = 1;
      sample.previousTick = tick - 1;
      sample.currentTick = tick;
      sample.alpha = (f + 0.5) / kFramesPerTick;
      apply.Time([&] { interpolator.Apply(sample); }, true);
      models.Time([&] {
        corrected = 0;
        for (uint8_t* sub : world.subMeshes) {
          const float* result = reinterpret_cast<float*>(sub + kMatrix);
          uint32_t diagnostic = 0;
          corrected += interpolator.ModelMatrix(sub, result, result, diagnostic) != kWorldModelNotWorld;
        }
      }, true);
      restore.Time([&] { interpolator.Restore(); }, true);
    }
  }
  std::printf("%-7s own work per tick: staging %6.1f us (median %6.1f; %u queries), capture %6.1f (%6.1f; %u) | "
              "per frame: apply %5.1f (%5.1f), %u model matrices %6.1f (%6.1f; %u), restore %4.1f (%4.1f)\n",
              name, stage.samples().Least(), stage.samples().Median(), stage.queries(), capture.samples().Least(),
              capture.samples().Median(), capture.queries(), apply.samples().Least(), apply.samples().Median(),
              corrected, models.samples().Least(), models.samples().Median(), models.queries(),
              restore.samples().Least(), restore.samples().Median());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
  Sleep(200);  // the time-stamp counter's rate is timed from start-up
  std::printf("512 single-body props, 1024 sub-meshes; the least of %d ticks and %d frames (median in brackets)\n",
              rounds - 8, 4 * (rounds - 8));
  Run("spaced", false, rounds);
  Run("heap", true, rounds);
  return 0;
}
