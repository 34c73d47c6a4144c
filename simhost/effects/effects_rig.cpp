#include "effects/effects_rig.h"

#include <windows.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/entry_points.h"
#include "record/host_record.h"
#include "record/logic_digest.h"
#include "scenarios/scenario_events.h"

namespace {

// Engine layout.
constexpr size_t kParticlesBegin = 0x39C;
constexpr size_t kParticlesEnd = 0x3A0;
constexpr size_t kLiveCount = 0x3AC;
constexpr size_t kCapacity = 0x3B0;
constexpr size_t kTrailIntervalOwner = 0x18;
constexpr size_t kTrailInterval = 0x11C;
constexpr size_t kTrailAmount = 0x4C;
constexpr size_t kTrailClear = 0x50;

constexpr float kTrailGameplayAmount = 1.0f;

struct Particle {
  float current[3];
  float previous[3];
  float velocity[3];
  uint32_t age;
  uint32_t life;  // 0: lives for ever (the tracked one)
};
static_assert(offsetof(Particle, previous) == 0x0C);

struct Emitter {
  uint8_t* object;
  std::vector<Particle> pool;
  std::vector<Particle*> array;
  uint32_t live;
  std::vector<float> vertices;  // what the emitter last built for the renderer
  std::vector<Particle> own;    // what the fixed step left
};

struct State {
  std::vector<Emitter> emitters;
  uint8_t* trail = nullptr;
  uint8_t* intervalOwner = nullptr;
  EventCursor reentrantEvents, clearEvents;  // each takes one draw
  int trailDepth = 0;
  double trailWeight = NAN;
  float trailInterval = NAN;
  double emittersUs = 0;  // the renderer's emitter vertex builds in the latest frame
};

State gState;
EffectsRig gRig;

template <typename T>
T& At(uint8_t* object, size_t offset) {
  return *reinterpret_cast<T*>(object + offset);
}

uint8_t* NewPage() {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void Spawn(Particle& p, uint32_t seed) {
  const float start[3] = {0.1f * (seed % 7), 1.0f + 0.05f * (seed % 5), -0.1f * (seed % 3)};
  memcpy(p.current, start, sizeof(start));
  memcpy(p.previous, start, sizeof(start));
  p.velocity[0] = 0.2f + 0.01f * (seed % 11);
  p.velocity[1] = 0.3f;
  p.velocity[2] = -0.05f * (seed % 4);
  p.age = 0;
  p.life = 20 + seed % 40;
}

void AddEmitter(uint32_t capacity, uint32_t live) {
  Emitter e;
  e.object = NewPage();
  e.pool.resize(capacity);
  e.array.resize(capacity);
  for (uint32_t i = 0; i < capacity; ++i) {
    Spawn(e.pool[i], i);
    e.array[i] = &e.pool[i];
  }
  e.live = live;
  e.vertices.assign(3 * capacity, 0.0f);
  gState.emitters.push_back(std::move(e));
}

void Publish(Emitter& e) {
  At<Particle**>(e.object, kParticlesBegin) = e.array.data();
  At<Particle**>(e.object, kParticlesEnd) = e.array.data() + e.array.size();
  At<uint32_t>(e.object, kLiveCount) = e.live;
  At<uint32_t>(e.object, kCapacity) = static_cast<uint32_t>(e.array.size());
}

}  // namespace

EffectsRig& Effects() { return gRig; }

void EffectsRig::DigestLogic(LogicDigest& d) const {
  const State& s = gState;
  for (const Emitter& e : s.emitters) {
    d.Value(kLogicParticles, "live", e.live);
    d.Add(kLogicParticles, "particles", e.pool.data(), e.pool.size() * sizeof(Particle));
    for (const Particle* p : e.array) d.Value(kLogicParticles, "array", static_cast<int64_t>(p - e.pool.data()));
  }
  d.Value(kLogicParticles, "trail_amount", At<float>(s.trail, kTrailAmount));
}

void EffectsRig::Check(const char* name, bool ok, const char* detail) {
  record_->Checked(name, ok, detail);
}

void EffectsRig::Init(const Scenario& scenario, HostRecord* record) {
  scenario_ = &scenario;
  record_ = record;
  stepSeconds_ = scenario.logicNumerator / scenario.logicDivisor / 1000.0;
  State& s = gState;
  AddEmitter(32, 32);    // sparks; the first one never dies and moves at constant velocity
  AddEmitter(64, 48);    // dust; the broken-array and NaN events use it
  AddEmitter(5000, 16);  // smoke; 4097 live while that event lasts
  Particle& tracked = s.emitters[0].pool[0];
  tracked.life = 0;
  tracked.velocity[0] = 0.5f;
  tracked.velocity[1] = 0.0f;
  tracked.velocity[2] = 0.0f;
  for (Emitter& e : s.emitters) {
    Publish(e);
    e.own = e.pool;
  }
  s.intervalOwner = NewPage();
  s.trail = NewPage();
  At<uint8_t*>(s.trail, kTrailIntervalOwner) = s.intervalOwner;
  At<float>(s.trail, kTrailAmount) = kTrailGameplayAmount;
  At<float>(s.intervalOwner, kTrailInterval) = 1.0f / 60.0f;
  s.reentrantEvents = EventCursor(scenario, "trail_reentrant");
  s.clearEvents = EventCursor(scenario, "trail_clear");
}

void EffectsRig::Step(uint32_t tick, float dt) {
  State& st = gState;
  bool own = true;
  for (Emitter& e : st.emitters) own = own && memcmp(e.own.data(), e.pool.data(), e.pool.size() * sizeof(Particle)) == 0;
  Check("particles-hold-the-fixed-step", own, "at a step's start every particle is what the last step left");
  Emitter& dust = st.emitters[1];
  Emitter& smoke = st.emitters[2];
  smoke.live = EventActive(*scenario_, "emitter4097", tick) ? 4097 : static_cast<uint32_t>(scenario_->smokeParticles);
  dust.live = 48;
  if (std::isnan(dust.pool[3].current[0])) Spawn(dust.pool[3], 3);  // the NaN event has ended
  for (Emitter& e : st.emitters) {
    for (uint32_t i = 0; i < e.live; ++i) {
      Particle& p = e.pool[i];
      if (p.life != 0 && ++p.age > p.life) {
        Spawn(p, i + tick);  // a new particle in the old one's place
        continue;
      }
      memcpy(p.previous, p.current, sizeof(p.current));
      for (int a = 0; a < 3; ++a) p.current[a] += p.velocity[a] * dt;
    }
  }
  if (EventActive(*scenario_, "particle_nan", tick)) dust.pool[3].current[0] = NAN;
  Publish(dust);
  Publish(smoke);
  // A live count above the capacity (after the step, so the step itself stays in bounds).
  if (EventActive(*scenario_, "live_above_capacity", tick)) At<uint32_t>(dust.object, kLiveCount) = 65;
  for (Emitter& e : st.emitters) e.own = e.pool;
}

uint8_t EffectsRig::EmitterUpdateGraphics(void* emitter) {
  for (Emitter& e : gState.emitters) {
    if (e.object != emitter) continue;
    const uint32_t count = e.live < e.array.size() ? e.live : static_cast<uint32_t>(e.array.size());
    for (uint32_t i = 0; i < count; ++i) memcpy(&e.vertices[3 * i], e.array[i]->current, 12);
  }
  return 1;
}

uint32_t EffectsRig::ImageTrailRenderEffect(void* effect) {
  State& s = gState;
  uint8_t* trail = static_cast<uint8_t*>(effect);
  const float amount = At<float>(trail, kTrailAmount);
  const float interval = At<float>(At<uint8_t*>(trail, kTrailIntervalOwner), kTrailInterval);
  const double weight = At<uint8_t>(trail, kTrailClear) != 0 ? 1.0 : std::exp(-amount * 0.015 / interval);
  if (s.trailDepth++ == 0) {
    s.trailWeight = weight;
    s.trailInterval = interval;
    if (s.reentrantEvents.Take(completedTicks_) >= 0) {
      // The effect draws itself once more from inside its own draw.
      using RenderEffect = uint32_t(THISCALL*)(void*, void*, void*);
      reinterpret_cast<RenderEffect>(engine_cPostEffect_ImageTrail_RenderEffect)(effect, nullptr, nullptr);
    }
  }
  --s.trailDepth;
  return 0;
}

void EffectsRig::BeforeRender(const FrameTruth& truth, uint32_t completedTicks, double frameInterval) {
  State& s = gState;
  truth_ = truth;
  completedTicks_ = completedTicks;
  // The engine hands its effects the interval of the frame being drawn.
  At<float>(s.intervalOwner, kTrailInterval) = static_cast<float>(frameInterval);
  At<uint8_t>(s.trail, kTrailClear) = s.clearEvents.Take(completedTicks) >= 0 ? 1 : 0;
  s.trailWeight = NAN;
  s.trailInterval = NAN;
}

void EffectsRig::Draw() {
  State& s = gState;
  using UpdateGraphics = uint8_t(THISCALL*)(void*, void*, float);
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceCounter(&start);
  for (Emitter& e : s.emitters) {
    reinterpret_cast<UpdateGraphics>(engine_iParticleEmitter_UpdateGraphicsForViewport)(e.object, nullptr,
                                                                                        1.0f / 60.0f);
  }
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  s.emittersUs = static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
  using RenderEffect = uint32_t(THISCALL*)(void*, void*, void*);
  reinterpret_cast<RenderEffect>(engine_cPostEffect_ImageTrail_RenderEffect)(s.trail, nullptr, nullptr);
}

void EffectsRig::AfterRender() {
  State& s = gState;
  Emitter& sparks = s.emitters[0];
  const Particle& tracked = sparks.pool[0];
  // Where the renderer drew the tracked particle, against where the game's clock puts it.
  const float* drawn = &sparks.vertices[0];
  const double alpha = truth_.valid ? truth_.alpha : 1.0;
  double err = 0;
  for (int a = 0; a < 3; ++a) {
    const double want = tracked.previous[a] + (tracked.current[a] - tracked.previous[a]) * alpha;
    err = std::fmax(err, std::fabs(drawn[a] - want));
  }
  const double shownTicks = completedTicks_ + (drawn[0] - tracked.current[0]) / (tracked.velocity[0] * stepSeconds_);
  // A second viewport builds its vertices outside the render: the fixed-step positions.
  using UpdateGraphics = uint8_t(THISCALL*)(void*, void*, float);
  reinterpret_cast<UpdateGraphics>(engine_iParticleEmitter_UpdateGraphicsForViewport)(sparks.object, nullptr,
                                                                                      1.0f / 60.0f);
  if (!scenario_->judgeFrames) {
    std::snprintf(fields_, sizeof(fields_), "trail_weight=%.9g trail_interval=%.9g emitters_us=%.2f", s.trailWeight,
                  static_cast<double>(s.trailInterval), s.emittersUs);
    return;
  }
  Check("second-viewport-draws-the-fixed-step", memcmp(drawn, tracked.current, 12) == 0,
        "outside the render an emitter builds its vertices from its own positions");
  bool own = true;
  for (Emitter& e : s.emitters) own = own && memcmp(e.own.data(), e.pool.data(), e.pool.size() * sizeof(Particle)) == 0;
  Check("particles-restored", own, "after the render every particle holds what the fixed step left");
  const float amount = At<float>(s.trail, kTrailAmount);
  Check("trail-amount-is-the-gameplay-value", memcmp(&amount, &kTrailGameplayAmount, 4) == 0,
        "outside its draw the trail amount is the gameplay value");
  std::snprintf(fields_, sizeof(fields_),
                "particle_err=%.3g particle_ticks=%.6f trail_weight=%.9g trail_interval=%.9g emitters_us=%.2f", err,
                shownTicks, s.trailWeight, static_cast<double>(s.trailInterval), s.emittersUs);
}
