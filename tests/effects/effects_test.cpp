#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "effects/image_trail_timing.h"
#include "effects/particle_positions.h"
#include "host/guarded_memory.h"
#include "support/fake_entities.h"

namespace driftglass {
namespace {

using test::Get;
using test::Put;

constexpr size_t kPage = 4096;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

uint8_t* Alloc(size_t size, DWORD protect = PAGE_READWRITE) {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, protect));
}
void Protect(void* at, DWORD protect) {
  DWORD old;
  ASSERT_TRUE(VirtualProtect(at, kPage, protect, &old));
}
uint32_t Bits(float f) {
  uint32_t b;
  memcpy(&b, &f, 4);
  return b;
}
// Floats of one sign are ordered like their bit patterns.
uint32_t UlpDistance(float a, float b) { return Bits(a) > Bits(b) ? Bits(a) - Bits(b) : Bits(b) - Bits(a); }

// 1 - (1 - d)^(60 T) evaluated directly in extended precision, with d = exp(-0.9 A).
float ExpectedAmount(float amount, float interval) {
  const long double d = expl(-0.9L * amount);
  const long double v = 1.0L - powl(1.0L - d, 60.0L * interval);
  return static_cast<float>(-logl(v) * interval / 0.015L);
}

// Log of what survives of the old image after one second when each draw at interval T blends
// in the new frame with weight exp(-amount * 0.015 / T).
long double LogPersistencePerSecond(float amount, long double interval) {
  return logl(1.0L - expl(-amount * 0.015L / interval)) / interval;
}

TEST(ImageTrailAmount, KeepsTheSixtyHertzDecayPerSecond) {
  for (float interval : {1.0f / 240, 1.0f / 144, 1.0f / 60, 1.0f / 30, 0.1f}) {
    for (float amount : {0.05f, 0.5f, 1.0f, 3.0f, 10.0f}) {
      float converted = -1;
      ASSERT_TRUE(ConvertImageTrailAmount(amount, interval, converted)) << amount << " " << interval;
      EXPECT_LE(UlpDistance(converted, ExpectedAmount(amount, interval)), 1u) << amount << " " << interval;
      const long double wanted = LogPersistencePerSecond(amount, 1.0L / 60);
      EXPECT_NEAR(LogPersistencePerSecond(converted, interval) / wanted, 1.0L, 1e-5L) << amount << " " << interval;
    }
  }
}

// Below about 0.07 the rounding of 1/60 to a float alone moves the result by a few ulps.
TEST(ImageTrailAmount, AtSixtyHertzGivesTheAmountBack) {
  int identical = 0;
  for (float amount = 0.1f; amount < 200.0f; amount *= 1.37f) {
    float converted = -1;
    ASSERT_TRUE(ConvertImageTrailAmount(amount, 1.0f / 60, converted));
    EXPECT_LE(UlpDistance(converted, amount), 1u) << amount;
    identical += Bits(converted) == Bits(amount);
  }
  EXPECT_GT(identical, 0);
}

TEST(ImageTrailAmount, EdgesAndRejections) {
  struct Case { float amount, interval; bool ok; float expected; };
  const Case cases[] = {
      {0.0f, 1.0f / 60, true, 0.0f},     {0.0f, 1.0f / 144, true, 0.0f},
      {800.0f, 1.0f / 60, true, 800.0f},  // d subnormal but still above 0
      {1000.0f, 1.0f / 60, false, 0},     // d underflows to 0
      {1e-30f, 1.0f / 60, false, 0},      // d rounds to 1
      {1e-45f, 1.0f / 60, false, 0},      {-1.0f, 1.0f / 60, false, 0},
      {-kInf, 1.0f / 60, false, 0},       {kInf, 1.0f / 60, false, 0},
      {kNaN, 1.0f / 60, false, 0},        {1.0f, 0.0f, false, 0},
      {1.0f, -1.0f / 60, false, 0},       {1.0f, kInf, false, 0},
      {1.0f, kNaN, false, 0},
  };
  for (const Case& c : cases) {
    float converted = 12345.0f;
    EXPECT_EQ(ConvertImageTrailAmount(c.amount, c.interval, converted), c.ok) << c.amount << " " << c.interval;
    if (c.ok) {
      EXPECT_LE(UlpDistance(converted, c.expected), 1u) << c.amount;
    }
  }
}

// The effect object sits at the end of one page, the next page holds the interval's owner.
constexpr uintptr_t kAmount = 0x4C;
constexpr uint32_t kHostResult = 0xC0DE0042;

struct TrailScene {
  uint8_t* const pages = Alloc(3 * kPage);
  uint8_t* effect = pages + kPage - 0x60;
  uint8_t* owner = pages + 2 * kPage;
  ImageTrailCounts counts;
  int hostCalls = 0;
  uint32_t seenBits = 0;
  void (*during)(TrailScene&) = nullptr;

  float amount, interval;

  TrailScene(float a, float t) : amount(a), interval(t) { MoveEffect(kPage - 0x60); }
  void MoveEffect(size_t offset) {
    effect = pages + offset;
    Put(effect, 0x18, owner);
    Put(effect, kAmount, amount);
    Put(owner, 0x11C, interval);
  }
  ~TrailScene() { VirtualFree(pages, 0, MEM_RELEASE); }
  uint32_t Draw(void* target);
};
TrailScene* g_trail = nullptr;

uint32_t DRIFTGLASS_THISCALL FakeTrailDraw(void* effect, void* input, void* output) {
  TrailScene& s = *g_trail;
  ++s.hostCalls;
  EXPECT_EQ(input, &s.counts);
  EXPECT_EQ(output, s.owner);
  if (effect != nullptr && IsRangeReadable(static_cast<uint8_t*>(effect) + kAmount, 4)) s.seenBits = Get<uint32_t>(effect, kAmount);
  if (s.during != nullptr) s.during(s);
  return kHostResult;
}

uint32_t TrailScene::Draw(void* target) {
  g_trail = this;
  return RenderImageTrailAtFrameRate(target, &counts, owner, &FakeTrailDraw, counts);
}

uint32_t CountSum(const ImageTrailCounts& c) {
  return c.adjusted + c.unchanged + c.clear + c.invalid + c.nested + c.restoreFail;
}

float IdenticalAtSixtyHertz() {
  for (float amount = 0.1f; amount < 40.0f; amount *= 1.37f) {
    float converted;
    if (ConvertImageTrailAmount(amount, 1.0f / 60, converted) && Bits(converted) == Bits(amount)) return amount;
  }
  return kNaN;
}

// Every pass-through draws with the host's own amount, writes nothing and counts one outcome.
TEST(ImageTrailDraw, PassThroughPaths) {
  using Setup = void (*)(TrailScene&);
  struct Case { const char* name; float amount, interval; Setup setup; uint32_t ImageTrailCounts::*counter; };
  const float sameAtSixty = IdenticalAtSixtyHertz();
  ASSERT_FALSE(std::isnan(sameAtSixty));
  const Case cases[] = {
      {"null effect", 1.0f, 1.0f / 144, nullptr, &ImageTrailCounts::invalid},
      {"clear request", 1.0f, 1.0f / 144, [](TrailScene& s) { s.effect[0x50] = 1; }, &ImageTrailCounts::clear},
      {"null interval owner", 1.0f, 1.0f / 144, [](TrailScene& s) { Put(s.effect, 0x18, nullptr); },
       &ImageTrailCounts::invalid},
      {"interval unreadable", 1.0f, 1.0f / 144, [](TrailScene& s) { Protect(s.owner, PAGE_NOACCESS); },
       &ImageTrailCounts::invalid},
      {"clear byte unreadable", 1.0f, 1.0f / 144,
       [](TrailScene& s) { s.MoveEffect(kPage - 0x50); Protect(s.pages + kPage, PAGE_NOACCESS); },
       &ImageTrailCounts::invalid},
      {"owner and amount unreadable", 1.0f, 1.0f / 144,
       [](TrailScene& s) { s.MoveEffect(kPage - 0x50); Protect(s.pages, PAGE_NOACCESS); },
       &ImageTrailCounts::invalid},
      {"amount read-only", 1.0f, 1.0f / 144, [](TrailScene& s) { Protect(s.pages, PAGE_READONLY); },
       &ImageTrailCounts::invalid},
      {"amount NaN", kNaN, 1.0f / 144, [](TrailScene&) {}, &ImageTrailCounts::invalid},
      {"interval zero", 1.0f, 0.0f, [](TrailScene&) {}, &ImageTrailCounts::invalid},
      // Read-only pages: an unchanged draw must not even try to write.
      {"zero amount", 0.0f, 1.0f / 144, [](TrailScene& s) { Protect(s.pages, PAGE_READONLY); },
       &ImageTrailCounts::unchanged},
      {"sixty hertz", sameAtSixty, 1.0f / 60, [](TrailScene& s) { Protect(s.pages, PAGE_READONLY); },
       &ImageTrailCounts::unchanged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TrailScene scene(c.amount, c.interval);
    if (c.setup != nullptr) c.setup(scene);
    EXPECT_EQ(scene.Draw(c.setup != nullptr ? scene.effect : nullptr), kHostResult);
    EXPECT_EQ(scene.hostCalls, 1);
    EXPECT_EQ(scene.counts.calls, 1u);
    EXPECT_EQ(scene.counts.*c.counter, 1u);
    EXPECT_EQ(CountSum(scene.counts), 1u);
    if (c.setup != nullptr && IsRangeReadable(scene.effect + kAmount, 4)) {
      EXPECT_EQ(scene.seenBits, Bits(c.amount));
      EXPECT_EQ(Get<uint32_t>(scene.effect, kAmount), Bits(c.amount));
    }
  }
}

TEST(ImageTrailDraw, AdjustsForOneDrawAndRestoresEveryByte) {
  TrailScene scene(1.0f, 1.0f / 144);
  uint8_t before[0x60];
  memcpy(before, scene.effect, sizeof(before));
  EXPECT_EQ(scene.Draw(scene.effect), kHostResult);
  EXPECT_EQ(scene.hostCalls, 1);
  EXPECT_LE(UlpDistance(Get<float>(&scene.seenBits, 0), ExpectedAmount(1.0f, 1.0f / 144)), 1u);
  EXPECT_EQ(memcmp(before, scene.effect, sizeof(before)), 0);
  EXPECT_EQ(scene.counts.adjusted, 1u);
  EXPECT_EQ(CountSum(scene.counts), 1u);
}

TEST(ImageTrailDraw, NestedDrawRunsUnchangedAndOuterStillRestores) {
  TrailScene scene(1.0f, 1.0f / 144);
  scene.during = [](TrailScene& s) {
    s.during = nullptr;
    const uint32_t outerSaw = s.seenBits;
    EXPECT_EQ(s.Draw(s.effect), kHostResult);
    EXPECT_EQ(s.seenBits, outerSaw);  // the inner draw sees the outer's amount, not a second conversion
  };
  scene.Draw(scene.effect);
  EXPECT_EQ(scene.counts.calls, 2u);
  EXPECT_EQ(scene.counts.nested, 1u);
  EXPECT_EQ(scene.counts.adjusted, 1u);
  EXPECT_EQ(Get<float>(scene.effect, kAmount), 1.0f);
  scene.Draw(scene.effect);  // the guard is down again
  EXPECT_EQ(scene.counts.adjusted, 2u);
  EXPECT_EQ(scene.hostCalls, 3);
}

TEST(ImageTrailDraw, HostInterferenceDuringTheDrawIsReported) {
  struct Case { void (*during)(TrailScene&); bool restorable; };
  const Case cases[] = {
      {[](TrailScene& s) { Put(s.effect, kAmount, 7.0f); }, true},
      {[](TrailScene& s) { Protect(s.pages, PAGE_READONLY); }, false},
  };
  for (const Case& c : cases) {
    TrailScene scene(1.0f, 1.0f / 144);
    scene.during = c.during;
    EXPECT_EQ(scene.Draw(scene.effect), kHostResult);
    EXPECT_EQ(scene.counts.restoreFail, 1u);
    EXPECT_EQ(scene.counts.adjusted, 1u);
    EXPECT_EQ(scene.hostCalls, 1);
    if (c.restorable) {
      EXPECT_EQ(Get<float>(scene.effect, kAmount), 1.0f);
    }
  }
}

// An emitter with its particle pointer array and particles, each particle in its own 32-byte
// slot so a stray write past the 24 bytes it owns shows in the byte comparison.
constexpr uint32_t kMaxLive = 4097;
constexpr size_t kArrayAt = 0x1000;
constexpr size_t kParticlesAt = 0x6000;
constexpr size_t kRegion = kParticlesAt + 32 * kMaxLive;
constexpr uint8_t kEmitterResult = 0xA5;
constexpr float kFrameTime = 0.0125f;

struct Vec { float x, y, z; };
// Previous P and current Q: small halves, so P + (Q - P) * 0.25 is exact in float.
Vec PreviousOf(uint32_t i) { return {0.5f * i, 0.5f * i + 0.5f, -0.5f * i - 1}; }
Vec CurrentOf(uint32_t i) { return {0.5f * i + 4, 0.5f * i - 7.5f, -0.5f * i + 1}; }

struct EmitterScene {
  uint8_t* const region = Alloc(kRegion);
  uint8_t* emitter = region;
  std::vector<uint8_t> before;
  std::vector<Vec> seen;
  ParticleCounts counts;
  int hostCalls = 0;
  void (*during)(EmitterScene&) = nullptr;

  EmitterScene(uint32_t live, uint32_t arrayLength) {
    for (uint32_t i = 0; i < arrayLength; ++i) {
      uint8_t* particle = Particle(i);
      Put(region, kArrayAt + 4 * i, particle);
      Put(particle, 0x00, CurrentOf(i));
      Put(particle, 0x0C, PreviousOf(i));
      Put(particle, 0x18, 0xDDDDDDDDu);
    }
    Put(emitter, 0x39C, region + kArrayAt);
    Put(emitter, 0x3A0, region + kArrayAt + 4 * arrayLength);
    Put(emitter, 0x3AC, live);
    Put(emitter, 0x3B0, kMaxLive + 10);
  }
  ~EmitterScene() { VirtualFree(region, 0, MEM_RELEASE); }
  uint8_t* Particle(uint32_t i) const { return region + kParticlesAt + 32 * i; }
  uint8_t Update(void* target);
  // Runs one update and checks the host ran once with its arguments and every byte came back.
  void UpdateAndCheck(void* target, int expectedHostCalls = 1) {
    before.assign(region, region + kRegion);
    hostCalls = 0;
    EXPECT_EQ(Update(target), kEmitterResult);
    EXPECT_EQ(hostCalls, expectedHostCalls);
    EXPECT_EQ(memcmp(before.data(), region, kRegion), 0);
  }
};
EmitterScene* g_emitter = nullptr;

uint8_t DRIFTGLASS_THISCALL FakeEmitterUpdate(void* emitter, void* frustum, float frameTime) {
  EmitterScene& s = *g_emitter;
  ++s.hostCalls;
  EXPECT_EQ(frustum, s.region + kArrayAt);
  EXPECT_EQ(frameTime, kFrameTime);
  s.seen.clear();
  for (uint32_t i = 0; emitter != nullptr && i < kMaxLive; ++i) s.seen.push_back(Get<Vec>(s.Particle(i), 0));
  if (s.during != nullptr) s.during(s);
  return kEmitterResult;
}

uint8_t EmitterScene::Update(void* target) {
  g_emitter = this;
  return UpdateEmitterBetweenTicks(target, region + kArrayAt, kFrameTime, &FakeEmitterUpdate, counts);
}

bool Same(const Vec& a, const Vec& b) { return memcmp(&a, &b, sizeof(Vec)) == 0; }
// How many of the first n particles the host saw at their current positions.
uint32_t SeenAtCurrent(const EmitterScene& s, uint32_t n) {
  uint32_t count = 0;
  for (uint32_t i = 0; i < n && i < s.seen.size(); ++i) count += Same(s.seen[i], CurrentOf(i));
  return count;
}

struct HandOff {
  HandOff(bool valid, double alpha) { ThreadParticleHandOff() = {valid, alpha}; }
  ~HandOff() { ThreadParticleHandOff() = {}; }
};

TEST(ParticlePositions, DrawsTheFractionBetweenTicks) {
  struct Case { double alpha; Vec (*expected)(uint32_t); };
  const Case cases[] = {
      {0.0, PreviousOf},
      {1.0, CurrentOf},
      {0.25, [](uint32_t i) { Vec p = PreviousOf(i); return Vec{p.x + 1, p.y - 2, p.z + 0.5f}; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alpha);
    EmitterScene scene(5, 7);  // two pointers past the live count stay as the host left them
    HandOff handOff(true, c.alpha);
    scene.UpdateAndCheck(scene.emitter);
    for (uint32_t i = 0; i < 5; ++i) EXPECT_TRUE(Same(scene.seen[i], c.expected(i))) << i;
    EXPECT_EQ(SeenAtCurrent(scene, 7) - SeenAtCurrent(scene, 5), 2u);
    EXPECT_EQ(scene.counts.emitters, 1u);
    EXPECT_EQ(scene.counts.positions, 5u);
    EXPECT_EQ(scene.counts.calls, 1u);
  }
}

TEST(ParticlePositions, LargestEmitterInterpolatesOneMoreIsLeftAlone) {
  HandOff handOff(true, 0.0);
  EmitterScene full(kMaxLive - 1, kMaxLive);
  full.UpdateAndCheck(full.emitter);
  EXPECT_TRUE(Same(full.seen[kMaxLive - 2], PreviousOf(kMaxLive - 2)));
  EXPECT_EQ(full.counts.positions, kMaxLive - 1);

  EmitterScene over(kMaxLive, kMaxLive);
  over.UpdateAndCheck(over.emitter);
  EXPECT_EQ(SeenAtCurrent(over, kMaxLive), kMaxLive);
  EXPECT_EQ(over.counts.capacity, 1u);
  EXPECT_EQ(over.counts.emitters + over.counts.invalid, 0u);
}

TEST(ParticlePositions, InactiveOutsideTheRenderScope) {
  {
    EmitterScene scene(3, 3);  // no hand-off on this thread
    scene.UpdateAndCheck(scene.emitter);
    EXPECT_EQ(scene.counts.inactive, 1u);
    EXPECT_EQ(SeenAtCurrent(scene, 3), 3u);
  }
  HandOff handOff(true, 0.0);
  {
    EmitterScene scene(3, 3);
    scene.UpdateAndCheck(nullptr);
    EXPECT_EQ(scene.counts.inactive, 1u);
  }
  {
    EmitterScene scene(3, 3);
    bool otherThreadSawHandOff = true;
    std::thread([&] {
      otherThreadSawHandOff = ThreadParticleHandOff().alphaValid;
      scene.UpdateAndCheck(scene.emitter);
    }).join();
    EXPECT_FALSE(otherThreadSawHandOff);
    EXPECT_EQ(scene.counts.inactive, 1u);
    EXPECT_EQ(SeenAtCurrent(scene, 3), 3u);
    EXPECT_TRUE(ThreadParticleHandOff().alphaValid);
  }
  {
    EmitterScene scene(3, 3);
    scene.during = [](EmitterScene& s) {
      s.during = nullptr;
      s.Update(s.emitter);  // the inner update sees the outer's positions, not a second blend
      EXPECT_TRUE(Same(s.seen[2], PreviousOf(2)));
    };
    scene.UpdateAndCheck(scene.emitter, 2);
    EXPECT_EQ(scene.counts.calls, 2u);
    EXPECT_EQ(scene.counts.inactive, 1u);
    EXPECT_EQ(scene.counts.emitters, 1u);
    scene.UpdateAndCheck(scene.emitter);  // the guard is down again
    EXPECT_EQ(scene.counts.emitters, 2u);
  }
}

TEST(ParticlePositions, EmptyEmitterPassesThroughUncounted) {
  HandOff handOff(true, 0.5);
  EmitterScene scene(0, 3);
  Put(scene.emitter, 0x39C, nullptr);  // an empty emitter's array is not looked at
  scene.UpdateAndCheck(scene.emitter);
  EXPECT_EQ(scene.counts.calls, 1u);
  EXPECT_EQ(scene.counts.emitters + scene.counts.inactive + scene.counts.invalid + scene.counts.capacity, 0u);
}

TEST(ParticlePositions, AnyBadShapeOrValueDrawsTheHostPositions) {
  using Setup = void (*)(EmitterScene&);
  struct Case { const char* name; double alpha; Setup setup; };
  const Case cases[] = {
      {"null array", 0.5, [](EmitterScene& s) { Put(s.emitter, 0x39C, nullptr); }},
      {"end before begin", 0.5, [](EmitterScene& s) { Put(s.emitter, 0x3A0, s.region + kArrayAt - 4); }},
      {"ragged array", 0.5, [](EmitterScene& s) { Put(s.emitter, 0x3A0, s.region + kArrayAt + 4 * 4 + 2); }},
      {"live above capacity", 0.5, [](EmitterScene& s) { Put(s.emitter, 0x3B0, 3u); }},
      {"live above array", 0.5, [](EmitterScene& s) { Put(s.emitter, 0x3A0, s.region + kArrayAt + 4 * 3); }},
      {"null particle", 0.5, [](EmitterScene& s) { Put(s.region, kArrayAt + 4 * 2, nullptr); }},
      {"current NaN", 0.5, [](EmitterScene& s) { Put(s.Particle(3), 0x08, kNaN); }},
      {"previous infinite", 0.5, [](EmitterScene& s) { Put(s.Particle(3), 0x10, -kInf); }},
      {"blend overflows", 0.5,
       [](EmitterScene& s) { Put(s.Particle(3), 0x00, 3e38f); Put(s.Particle(3), 0x0C, -3e38f); }},
      {"fraction NaN", std::nan(""), nullptr},
      {"fraction above one", 1.5, nullptr},
      {"fraction below zero", -0.25, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HandOff handOff(true, c.alpha);
    EmitterScene scene(4, 4);
    if (c.setup != nullptr) c.setup(scene);
    scene.UpdateAndCheck(scene.emitter);
    EXPECT_EQ(scene.counts.invalid, 1u);
    EXPECT_EQ(scene.counts.emitters + scene.counts.positions + scene.counts.inactive + scene.counts.capacity, 0u);
    for (uint32_t i = 0; i < 3; ++i) {
      if (Get<uint8_t*>(scene.region, kArrayAt + 4 * i) != nullptr) {
        EXPECT_TRUE(Same(scene.seen[i], Get<Vec>(scene.before.data(), kParticlesAt + 32 * i))) << i;
      }
    }
  }
}

}  // namespace
}  // namespace driftglass
