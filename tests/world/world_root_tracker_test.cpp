#include "world/world_root_tracker.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "host/hook_slots.h"
#include "shared/snapshot_limits.h"
#include "support/fake_entities.h"

namespace driftglass {
namespace {

using namespace test;  // the fake host entities

RigidTransform Pose(double angle, float x) {
  RigidTransform t = IdentityTransform();
  t.m[0] = t.m[5] = static_cast<float>(std::cos(angle));
  t.m[4] = static_cast<float>(std::sin(angle));
  t.m[1] = -t.m[4];
  t.m[3] = x;
  return t;
}

// Props, bodies, meshes and enemies laid out as the host's.
struct Host {
  uint8_t* const arena = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  size_t used = 0;

  ~Host() { VirtualFree(arena, 0, MEM_RELEASE); }
  Host() = default;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  uint8_t* Take(size_t bytes) {
    uint8_t* p = arena + used;
    used += (bytes + 15) & ~size_t{15};
    return p;
  }
  static void SetWorld(uint8_t* entity, const RigidTransform& world) {
    memcpy(Get<float*>(entity, kFakeWorld), world.m, sizeof(world.m));
  }
  uint8_t* NewEntity(size_t bytes, const RigidTransform& world) {
    uint8_t* entity = Take(bytes);
    Put(entity, kFakeWorld, Take(64));
    SetWorld(entity, world);
    return entity;
  }
  uint8_t* NewBody(float x = 0, uint8_t awake = 1) {
    uint8_t* body = NewEntity(0x290, Pose(0, x));
    body[kFakeAwake] = awake;
    return body;
  }
  // A body no prop owns, passing the standalone checks.
  uint8_t* NewStandalone(float x = 0) {
    uint8_t* body = NewBody(x);
    body[0x24] = 1;
    Put<uint32_t>(body, 0x40, 0x5A5A);
    Put<uint32_t>(body, 0x280, 7);
    return body;
  }
  uint8_t* NewMesh(uint32_t subMeshes = 0) {
    uint8_t* mesh = NewEntity(0x320, IdentityTransform());
    Put<uint32_t>(mesh, 0x04, 0x1234);
    mesh[0x24] = 1;
    std::vector<const void*> list;
    for (uint32_t i = 0; i < subMeshes; ++i) list.push_back(NewEntity(0x10, Pose(0, i)));
    SetArray(mesh, 0x30C, list);
    return mesh;
  }
  uint8_t* NewProp(const std::vector<const void*>& bodies, uint8_t* mesh) {
    return FillProp(Take(0x490), bodies, mesh);
  }
  uint8_t* FillProp(uint8_t* prop, const std::vector<const void*>& bodies, uint8_t* mesh) {
    Put<uint32_t>(prop, 0x40, 0xC0FFEE);
    SetArray(prop, 0x260, bodies);
    Put(prop, 0x340, mesh);
    return prop;
  }
  uint8_t* NewEnemy(uint8_t* mesh, uint32_t kind = 0) {
    uint8_t* enemy = Take(0x830);
    Put<uint32_t>(enemy, 0x40, 0xE1);
    Put(enemy, 0x54C, mesh);
    Put(enemy, 0x82C, kind);
    return enemy;
  }
  void SetArray(uint8_t* object, size_t offset, const std::vector<const void*>& entries) {
    uint8_t* array = Take(4 * entries.size() + 4);
    memcpy(array, entries.data(), 4 * entries.size());
    Put(object, offset, array);
    Put(object, offset + 4, array + 4 * entries.size());
  }
};

std::unique_ptr<WorldRootTracker> NewTracker(uintptr_t getEnabled =
                                                 reinterpret_cast<uintptr_t>(&FakeGetEnabled)) {
  auto tracker = std::make_unique<WorldRootTracker>();
  tracker->Configure(reinterpret_cast<uintptr_t>(&FakeGetWorldMatrix), 0, getEnabled);
  return tracker;
}

uint32_t Stage(WorldRootTracker& tracker, void* prop, uint64_t tick) {
  WorldPropInfo info;
  return tracker.StageProp(prop, tick, info);
}

TEST(WorldRootTrackerTest, ResultNames) {
  const wchar_t* names[] = {L"staged-prop", L"staged-grunt", L"cached-sleeping-prop",
                            L"ineligible",  L"invalid",      L"capacity"};
  for (uint32_t i = 0; i < 6; ++i) EXPECT_STREQ(WorldStageResultName(i), names[i]);
  EXPECT_STREQ(WorldStageResultName(6), L"unknown");
}

TEST(WorldRootTrackerTest, StagingAPropReportsItsBodiesAndMesh) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* a = host.NewBody();
  uint8_t* b = host.NewBody(0, 0);
  uint8_t* mesh = host.NewMesh();
  uint8_t* prop = host.NewProp({a, b, a}, mesh);
  WorldPropInfo info;
  ASSERT_EQ(tracker->StageProp(prop, 5, info), kWorldStagedProp);
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.mesh, mesh);
  EXPECT_EQ(info.ownerWord, 0xC0FFEEu);
  EXPECT_EQ(info.bodyCount, 2u);  // the repeated body counts once
  EXPECT_FALSE(info.allAsleep);
  const WorldBodyEntry* entry = tracker->bodies().Find(prop, b);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->mesh, mesh);
  EXPECT_EQ(entry->meshWord, 0x1234u);
  EXPECT_FALSE(entry->awake);
  EXPECT_EQ(entry->stagedTick, 5u);
  EXPECT_EQ(tracker->bodies().InUse(), 2u);

  // A body that leaves the prop leaves the table; the one that stays is still found.
  host.SetArray(prop, 0x260, {a});
  ASSERT_EQ(Stage(*tracker, prop, 6), kWorldStagedProp);
  EXPECT_EQ(tracker->bodies().Find(prop, b), nullptr);
  EXPECT_NE(tracker->bodies().Find(prop, a), nullptr);
  EXPECT_EQ(tracker->bodies().InUse(), 1u);
}

TEST(WorldRootTrackerTest, EveryRefusalForgetsTheProp) {
  struct Case {
    const char* name;
    void (*spoil)(Host&, uint8_t* prop);
    uint32_t result;
  } cases[] = {
      {"eligibility byte 1", [](Host&, uint8_t* p) { p[0x119] = 1; }, kWorldIneligible},
      {"eligibility byte 2", [](Host&, uint8_t* p) { p[0x119] = 2; }, kWorldInvalid},
      {"eligibility word 16", [](Host&, uint8_t* p) { Put<uint32_t>(p, 0x484, 16); },
       kWorldIneligible},
      {"null array begin", [](Host&, uint8_t* p) { Put<uint32_t>(p, 0x260, 0); }, kWorldInvalid},
      {"null array end", [](Host&, uint8_t* p) { Put<uint32_t>(p, 0x264, 0); }, kWorldInvalid},
      {"end before begin",
       [](Host&, uint8_t* p) { Put(p, 0x264, Get<uint32_t>(p, 0x260) - 4); }, kWorldIneligible},
      {"empty array", [](Host&, uint8_t* p) { Put(p, 0x264, Get<uint32_t>(p, 0x260)); },
       kWorldIneligible},
      {"misaligned end", [](Host&, uint8_t* p) { Put(p, 0x264, Get<uint32_t>(p, 0x264) + 2); },
       kWorldIneligible},
      {"unreadable array", [](Host&, uint8_t* p) { Put<uint32_t>(p, 0x260, 0x10); Put<uint32_t>(p, 0x264, 0x14); },
       kWorldIneligible},
      {"33 bodies",
       [](Host& h, uint8_t* p) { h.SetArray(p, 0x260, std::vector<const void*>(33, h.NewBody())); },
       kWorldIneligible},
      {"null body", [](Host& h, uint8_t* p) { h.SetArray(p, 0x260, {h.NewBody(), nullptr}); },
       kWorldInvalid},
      {"null mesh", [](Host&, uint8_t* p) { Put<uint32_t>(p, 0x340, 0); }, kWorldInvalid},
      {"inactive mesh", [](Host&, uint8_t* p) { Get<uint8_t*>(p, 0x340)[0x24] = 0; },
       kWorldInvalid},
      {"unreadable mesh", [](Host&, uint8_t* p) { Put<uint32_t>(p, 0x340, 0x20); },
       kWorldInvalid},
  };
  for (const Case& c : cases) {
    Host host;
    auto tracker = NewTracker();
    uint8_t* body = host.NewBody();
    uint8_t* prop = host.NewProp({body}, host.NewMesh());
    ASSERT_EQ(Stage(*tracker, prop, 1), kWorldStagedProp) << c.name;
    c.spoil(host, prop);
    EXPECT_EQ(Stage(*tracker, prop, 2), c.result) << c.name;
    EXPECT_EQ(tracker->bodies().InUse(), 0u) << c.name;
    EXPECT_EQ(tracker->sleepCache().Find(prop), nullptr) << c.name;
  }
  // The limits themselves are accepted.
  Host host;
  auto tracker = NewTracker();
  std::vector<const void*> bodies;
  for (int i = 0; i < 32; ++i) bodies.push_back(host.NewBody());
  uint8_t* prop = host.NewProp(bodies, host.NewMesh());
  Put<uint32_t>(prop, 0x484, 15);
  EXPECT_EQ(Stage(*tracker, prop, 1), kWorldStagedProp);
  EXPECT_EQ(tracker->bodies().InUse(), 32u);
  EXPECT_EQ(Stage(*tracker, nullptr, 1), kWorldInvalid);
  auto unresolved = NewTracker(0);
  EXPECT_EQ(Stage(*unresolved, prop, 1), kWorldInvalid);
}

// A record ends exactly where an inaccessible page begins, or one byte past it: a prop's 1096
// bytes from 0x40, a Grunt's through its kind word at 0x82C.
TEST(WorldRootTrackerTest, RecordsMustBeReadableThroughTheirLastByte) {
  Host host;
  auto* pages = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 0x2000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + 0x1000, 0x1000, PAGE_NOACCESS, &old));
  auto tracker = NewTracker();
  uint8_t* body = host.NewBody();
  uint8_t* mesh = host.NewMesh();
  uint8_t* fits = host.FillProp(pages + 0x1000 - 0x488, {body}, mesh);
  EXPECT_EQ(Stage(*tracker, fits, 1), kWorldStagedProp);
  uint8_t* spills = pages + 0x1000 - 0x487;
  memmove(spills, fits, 0x487);
  EXPECT_EQ(Stage(*tracker, spills, 1), kWorldInvalid);

  uint8_t* grunt = pages + 0x1000 - 0x830;
  memcpy(grunt, host.NewEnemy(mesh), 0x830);
  EXPECT_EQ(tracker->StageGrunt(grunt, 2), kWorldStagedGrunt);
  memmove(grunt + 1, grunt, 0x82F);  // the kind word's last byte on the inaccessible page
  EXPECT_EQ(tracker->StageGrunt(grunt + 1, 3), kWorldInvalid);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(WorldRootTrackerTest, CapturedBodiesMoveRestartAfterJumpsAndRestWhenStill) {
  struct Case {
    double turn;
    float step;
    bool restarts;
  } cases[] = {
      {0, 0.74f, false}, {0, 0.76f, true}, {0.78, 0, false}, {0.79, 0, true}, {0, 0, false},
  };
  for (const Case& c : cases) {
    Host host;
    auto tracker = NewTracker();
    uint8_t* body = host.NewBody();
    uint8_t* prop = host.NewProp({body}, host.NewMesh());
    for (uint64_t tick = 1; tick <= 3; ++tick) {
      Host::SetWorld(body, Pose(c.turn * tick, c.step * tick));
      ASSERT_EQ(Stage(*tracker, prop, tick), kWorldStagedProp);
      const WorldCaptureCounts counts = tracker->Capture(tick, 7);
      const WorldBodyEntry& entry = *tracker->bodies().Find(prop, body);
      EXPECT_FALSE(entry.staged);
      EXPECT_EQ(entry.lastCapturedTick, tick);
      if (tick == 1) {
        EXPECT_EQ(counts.resets, 1u);  // a new body's first tick binds its history
        continue;
      }
      const bool moved = c.step != 0 || c.turn != 0;
      EXPECT_EQ(counts.resets, c.restarts ? 1u : 0u) << c.step << " " << c.turn;
      EXPECT_EQ(counts.captured, c.restarts ? 0u : 1u);
      EXPECT_EQ(entry.history.count(), c.restarts ? 1u : 2u);
      EXPECT_EQ(entry.moving, moved);
      EXPECT_TRUE(entry.hasLastMatrix);
    }
  }
}

// The jump tests compare alignments |q·r| instead of angles 2·acos(|q·r|); each bound must split
// the floats exactly where acosf does, around it and across all of [0, 1].
TEST(WorldRootTrackerTest, AlignmentBoundsTurnWhereTheAngleDoes) {
  const struct {
    const char* name;
    float angle, alignment;
  } bounds[] = {{"world jump", kWorldJumpAngle, kWorldJumpAlignment},
                {"teleport", kTeleportAnglePerTick, kTeleportAlignmentPerTick}};
  for (const auto& b : bounds) {
    uint32_t boundary;
    memcpy(&boundary, &b.alignment, sizeof(boundary));
    uint32_t disagreements = 0;
    const auto check = [&](uint32_t bits) {
      float d;
      memcpy(&d, &bits, sizeof(d));
      const bool turnsMore = 2.0f * std::acos(d < 1.0f ? d : 1.0f) > b.angle;
      disagreements += turnsMore != (d < b.alignment) ? 1 : 0;
    };
    for (uint32_t bits = boundary - 100000; bits <= boundary + 100000; ++bits) check(bits);
    for (uint32_t bits = 0; bits <= 0x3F800010u; bits += 997) check(bits);
    EXPECT_EQ(disagreements, 0u) << b.name;
  }
}

TEST(WorldRootTrackerTest, MissedTicksAndBrokenMatricesRestartTheHistory) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* body = host.NewBody();
  uint8_t* prop = host.NewProp({body}, host.NewMesh());
  const auto step = [&](uint64_t stage, uint64_t capture, float x) {
    Host::SetWorld(body, Pose(0, x));
    Stage(*tracker, prop, stage);
    return tracker->Capture(capture, 1);
  };
  step(1, 1, 0);
  EXPECT_EQ(step(2, 2, 0.1f).captured, 1u);
  // A tick without a capture: the next one cannot be paired with tick 2.
  EXPECT_EQ(step(4, 4, 0.2f).resets, 1u);
  const WorldBodyEntry& entry = *tracker->bodies().Find(prop, body);
  EXPECT_EQ(entry.history.count(), 1u);
  // Staged for a tick that is not the one captured.
  WorldCaptureCounts counts = step(5, 6, 0.3f);
  EXPECT_EQ(counts.resets, 1u);
  EXPECT_EQ(counts.captured, 0u);
  EXPECT_EQ(entry.history.count(), 0u);
  EXPECT_FALSE(entry.moving);
  // A matrix that is not rigid.
  RigidTransform scaled = Pose(0, 0.3f);
  scaled.m[0] = 1.01f;
  Host::SetWorld(body, scaled);
  Stage(*tracker, prop, 7);
  counts = tracker->Capture(7, 1);
  EXPECT_EQ(counts.invalid, 1u);
  EXPECT_FALSE(entry.hasLastMatrix);
  EXPECT_EQ(entry.history.count(), 0u);
}

TEST(WorldRootTrackerTest, SleepingPropsAreStagedOnScheduleUntilABodyMoves) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* body = host.NewBody(0, 0);
  uint8_t* prop = host.NewProp({body}, host.NewMesh());
  const auto p = reinterpret_cast<uintptr_t>(prop);
  const uint64_t first = 100 + 30 + (((p >> 20) ^ (p >> 4)) % 60);
  std::vector<uint64_t> full;
  for (uint64_t tick = 100; tick <= first + 121; ++tick) {
    const uint32_t result = Stage(*tracker, prop, tick);
    if (result == kWorldStagedProp) {
      full.push_back(tick);
    } else {
      EXPECT_EQ(result, kWorldCachedSleepingProp);
    }
    const WorldCaptureCounts counts = tracker->Capture(tick, 1);
    EXPECT_EQ(counts.captured, 0u);
    EXPECT_EQ(counts.sleeping, result == kWorldStagedProp ? 1u : 0u);
  }
  EXPECT_EQ(full, (std::vector<uint64_t>{100, first, first + 60, first + 120}));

  // A transform callback on its body: captured at this tick, staged in full at the next.
  tracker->NoteMovedBody(body);
  const WorldCaptureCounts counts = tracker->Capture(first + 122, 1);
  EXPECT_EQ(counts.movedMatched, 1u);
  EXPECT_EQ(counts.captured + counts.resets, 1u);
  EXPECT_EQ(Stage(*tracker, prop, first + 123), kWorldStagedProp);

  // Another object at the prop's address is staged in full.
  Stage(*tracker, prop, first + 124);
  Put<uint32_t>(prop, 0x40, 0xBEEF);
  EXPECT_EQ(Stage(*tracker, prop, first + 125), kWorldStagedProp);
}

TEST(WorldRootTrackerTest, PropsWithAnAwakeOrASecondBodyAreNeverCached) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* awake = host.NewProp({host.NewBody(0, 0), host.NewBody(0, 1)}, host.NewMesh());
  uint8_t* pair = host.NewProp({host.NewBody(0, 0), host.NewBody(0, 0)}, host.NewMesh());
  for (uint64_t tick = 1; tick < 200; ++tick) {
    ASSERT_EQ(Stage(*tracker, awake, tick), kWorldStagedProp);
    ASSERT_EQ(Stage(*tracker, pair, tick), kWorldStagedProp);
  }
}

TEST(WorldRootTrackerTest, ABodyFallingAsleepIsCapturedOnceMoreAtRest) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* body = host.NewBody();
  // A second body that always sleeps keeps the prop off the sleeping fast path.
  uint8_t* prop = host.NewProp({body, host.NewBody(0, 0)}, host.NewMesh());
  const uint8_t awake[] = {1, 1, 0, 0};
  uint32_t captured[4], sleeping[4];
  for (uint64_t tick = 0; tick < 4; ++tick) {
    body[kFakeAwake] = awake[tick];
    Host::SetWorld(body, Pose(0, 0.1f * tick));
    ASSERT_EQ(Stage(*tracker, prop, tick + 1), kWorldStagedProp);
    const WorldCaptureCounts counts = tracker->Capture(tick + 1, 1);
    captured[tick] = counts.captured;
    sleeping[tick] = counts.sleeping;
  }
  EXPECT_EQ(captured[1], 1u);
  EXPECT_EQ(captured[2], 1u);
  EXPECT_EQ(sleeping[2], 1u);
  EXPECT_EQ(sleeping[3], 2u);
  EXPECT_EQ(captured[3], 0u);
  EXPECT_FALSE(tracker->bodies().Find(prop, body)->moving);
}

TEST(WorldRootTrackerTest, GruntsAreTrackedByTheirMesh) {
  struct Case {
    uint32_t kind;
    uint8_t active;
    bool nullMesh;
    uint32_t result;
  } cases[] = {
      {0, 1, false, kWorldStagedGrunt},
      {3, 1, false, kWorldIneligible},
      {0, 0, false, kWorldInvalid},
      {0, 1, true, kWorldInvalid},
  };
  for (const Case& c : cases) {
    Host host;
    auto tracker = NewTracker();
    uint8_t* mesh = host.NewMesh();
    uint8_t* enemy = host.NewEnemy(mesh);
    ASSERT_EQ(tracker->StageGrunt(enemy, 1), kWorldStagedGrunt);
    Put(enemy, 0x82C, c.kind);
    mesh[0x24] = c.active;
    if (c.nullMesh) Put<uint32_t>(enemy, 0x54C, 0);
    EXPECT_EQ(tracker->StageGrunt(enemy, 2), c.result) << c.kind << int(c.active);
    const WorldBodyEntry* entry = tracker->bodies().Find(enemy, mesh);
    EXPECT_EQ(entry != nullptr, c.result == kWorldStagedGrunt);
    if (entry == nullptr) continue;
    EXPECT_EQ(entry->kind, kWorldBodyGrunt);
    Host::SetWorld(mesh, Pose(0, 0.2f));
    EXPECT_EQ(tracker->Capture(2, 1).resets, 1u);
    EXPECT_TRUE(tracker->bodies().Find(enemy, mesh)->hasLastMatrix);
  }
  auto tracker = NewTracker();
  EXPECT_EQ(tracker->StageGrunt(nullptr, 1), kWorldInvalid);
}

TEST(WorldRootTrackerTest, MovedBodiesBecomeStandaloneUntilAnOwnerStagesThem) {
  Host host;
  auto tracker = NewTracker();
  struct Case {
    uint8_t active;
    uint32_t range;
    bool tracked;
  } cases[] = {{1, 1, true}, {1, 128, true}, {0, 7, false}, {2, 7, false},
               {1, 0, false}, {1, 129, false}};
  for (const Case& c : cases) {
    uint8_t* body = host.NewStandalone();
    body[0x24] = c.active;
    Put(body, 0x280, c.range);
    tracker->NoteMovedBody(body);
    tracker->NoteMovedBody(nullptr);
    const WorldCaptureCounts counts = tracker->Capture(1, 1);
    EXPECT_EQ(counts.moved, 1u);
    EXPECT_EQ(counts.movedStandalone, c.tracked ? 1u : 0u) << int(c.active) << " " << c.range;
    EXPECT_EQ(tracker->bodies().Find(body, body) != nullptr, c.tracked);
  }
  // An owner takes the body over; a moved owned body stays with its owner.
  uint8_t* body = host.NewStandalone();
  tracker->NoteMovedBody(body);
  tracker->Capture(2, 1);
  ASSERT_NE(tracker->bodies().Find(body, body), nullptr);
  uint8_t* prop = host.NewProp({body}, host.NewMesh());
  ASSERT_EQ(Stage(*tracker, prop, 3), kWorldStagedProp);
  EXPECT_EQ(tracker->bodies().Find(body, body), nullptr);
  tracker->NoteMovedBody(body);
  const WorldCaptureCounts counts = tracker->Capture(3, 1);
  EXPECT_EQ(counts.movedMatched, 1u);
  EXPECT_EQ(counts.movedStandalone, 0u);
  EXPECT_EQ(tracker->bodies().Find(body, body), nullptr);
}

TEST(WorldRootTrackerTest, MoreThan1024MovedBodiesInATickOverflow) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* bodies[3] = {host.NewStandalone(), host.NewStandalone(), host.NewStandalone()};
  for (int i = 0; i < 1030; ++i) tracker->NoteMovedBody(bodies[i % 3]);
  WorldCaptureCounts counts = tracker->Capture(1, 1);
  EXPECT_EQ(counts.moved, 1024u);
  EXPECT_EQ(counts.movedOverflow, 6u);
  EXPECT_EQ(counts.movedStandalone, 1024u);
  counts = tracker->Capture(2, 1);
  EXPECT_EQ(counts.moved, 0u);
  EXPECT_EQ(counts.movedOverflow, 0u);
}

// Physics threads note bodies while the main thread drains: every note is received at most once,
// and every position is received or skipped (its store came after the drain) or counted as
// overflow.
TEST(MovedBodyQueueTest, NotesFromSeveralThreadsDuringDrainsAreNeitherLostNorRepeated) {
  auto queue = std::make_unique<MovedBodyQueue>();
  constexpr uint32_t kThreads = 4;
  constexpr uint32_t kNotes = 20000;
  std::atomic<uint32_t> running{kThreads};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (uint32_t i = 0; i < kNotes; ++i) {
        queue->Note(reinterpret_cast<void*>(uintptr_t{(t * kNotes + i + 1) * 16}));
      }
      running.fetch_sub(1);
    });
  }
  std::vector<uint8_t> seen(kThreads * kNotes + 1, 0);
  static void* drained[MovedBodyQueue::kCapacity];
  uint64_t received = 0, moved = 0, overflow = 0, skipped = 0;
  bool last = false;
  while (!last) {
    last = running.load() == 0;
    const MovedBodyDrain drain = queue->Drain(drained);
    received += drain.received;
    moved += drain.moved;
    overflow += drain.overflow;
    skipped += drain.skipped;
    for (uint32_t i = 0; i < drain.received; ++i) {
      ++seen[reinterpret_cast<uintptr_t>(drained[i]) / 16];
    }
  }
  for (std::thread& thread : threads) thread.join();
  uint32_t repeated = 0;
  for (uint8_t count : seen) repeated += count > 1 ? 1 : 0;
  EXPECT_EQ(repeated, 0u);
  EXPECT_EQ(received + skipped, moved);
  EXPECT_EQ(moved + overflow, uint64_t{kThreads} * kNotes);
}

// A physics thread preempted between taking its position and storing its body must not hold up
// the main thread: the drain skips the position at once, and the late store is never read as a
// later note (the drain cannot wait here: the store only comes after it returns).
TEST(MovedBodyQueueTest, APositionNotYetStoredIsSkippedAndItsLateStoreIgnored) {
  auto queue = std::make_unique<MovedBodyQueue>();
  static void* drained[MovedBodyQueue::kCapacity];
  void* const late = reinterpret_cast<void*>(uintptr_t{0x1000});
  void* const next = reinterpret_cast<void*>(uintptr_t{0x2000});
  const MovedBodyClaim held = queue->Claim();
  queue->Note(next);
  MovedBodyDrain drain = queue->Drain(drained);
  EXPECT_EQ(drain.moved, 2u);
  EXPECT_EQ(drain.skipped, 1u);
  ASSERT_EQ(drain.received, 1u);
  EXPECT_EQ(drained[0], next);
  queue->Store(held, late);  // the held producer goes on
  // Two more rounds bring back the late store's bank; a producer held at the same position there
  // leaves the late body in the slot, and the drain must not take it for this round's note.
  queue->Note(next);
  drain = queue->Drain(drained);
  EXPECT_EQ(drain.received, 1u);
  const MovedBodyClaim heldAgain = queue->Claim();
  ASSERT_EQ(heldAgain.position, held.position);
  queue->Note(next);
  drain = queue->Drain(drained);
  EXPECT_EQ(drain.skipped, 1u);
  ASSERT_EQ(drain.received, 1u);
  EXPECT_EQ(drained[0], next);
}

TEST(WorldRootTrackerTest, MultiBodyPropsKeepSubMeshHistoriesOnlyAcrossMotion) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* mesh = host.NewMesh(2);
  uint8_t* single = host.NewProp({host.NewBody()}, host.NewMesh(3));
  uint8_t* prop = host.NewProp({host.NewBody(), host.NewBody()}, mesh);
  uint8_t* const* subMeshes = Get<uint8_t* const*>(mesh, 0x30C);
  for (uint64_t tick = 1; tick <= 3; ++tick) {
    Host::SetWorld(subMeshes[0], Pose(0, 0.1f * tick));  // the other one rests
    Stage(*tracker, single, tick);
    Stage(*tracker, prop, tick);
    const WorldCaptureCounts counts = tracker->Capture(tick, 1);
    EXPECT_EQ(counts.modelCandidates, 2u);
    EXPECT_EQ(counts.modelCaptured, 2u);
  }
  EXPECT_EQ(tracker->modelHistories().InUse(), 2u);
  const ModelHistory* moving = tracker->modelHistories().Find(subMeshes[0]);
  const ModelHistory* resting = tracker->modelHistories().Find(subMeshes[1]);
  ASSERT_NE(moving, nullptr);
  ASSERT_NE(resting, nullptr);
  EXPECT_EQ(moving->ownerMesh, mesh);
  EXPECT_EQ(moving->lastCapturedTick, 3u);
  EXPECT_EQ(moving->history.count(), 2u);
  EXPECT_EQ(resting->history.count(), 1u);
  EXPECT_EQ(resting->history.entry(0).tick, 3u);

  // The moving sub-mesh's memory now belongs to another prop's mesh, a short step from where it
  // was: its history starts over rather than blend the old sub-mesh into the new.
  uint8_t* const moved = subMeshes[0];
  uint8_t* const kept = subMeshes[1];
  uint8_t* otherMesh = host.NewMesh();
  uint8_t* other = host.NewProp({host.NewBody(), host.NewBody()}, otherMesh);
  host.SetArray(otherMesh, 0x30C, std::vector<const void*>{moved});
  host.SetArray(mesh, 0x30C, std::vector<const void*>{kept});
  Host::SetWorld(moved, Pose(0, 0.35f));
  Stage(*tracker, prop, 4);
  Stage(*tracker, other, 4);
  tracker->Capture(4, 1);
  const ModelHistory* reused = tracker->modelHistories().Find(moved);
  ASSERT_NE(reused, nullptr);
  EXPECT_EQ(reused->ownerMesh, otherMesh);
  EXPECT_EQ(reused->history.count(), 1u);

  // A sub-mesh array the host could not have built counts once.
  host.SetArray(mesh, 0x30C, std::vector<const void*>(129, moved));
  Stage(*tracker, prop, 5);
  const WorldCaptureCounts counts = tracker->Capture(5, 1);
  EXPECT_EQ(counts.modelInvalid, 1u);
  EXPECT_EQ(counts.modelCandidates, 0u);
}

TEST(WorldRootTrackerTest, SubMeshHistoriesStopAt512PerTick) {
  Host host;
  auto tracker = NewTracker();
  std::vector<uint8_t*> props;
  for (int i = 0; i < 5; ++i) {
    props.push_back(host.NewProp({host.NewBody(), host.NewBody()}, host.NewMesh(128)));
  }
  for (uint8_t* prop : props) Stage(*tracker, prop, 1);
  WorldCaptureCounts counts = tracker->Capture(1, 1);
  EXPECT_EQ(counts.modelCandidates, 640u);
  EXPECT_EQ(counts.modelCaptured, 512u);
  EXPECT_EQ(counts.modelCapacity, 128u);
  // At the next tick the oldest give way; none is taken twice.
  for (uint8_t* prop : props) Stage(*tracker, prop, 2);
  counts = tracker->Capture(2, 1);
  EXPECT_EQ(counts.modelCaptured, 512u);
  uint32_t found = 0;
  for (const ModelHistory& h : tracker->modelHistories().entries()) {
    found += tracker->modelHistories().Find(h.subMesh) == &h ? 1 : 0;
  }
  EXPECT_EQ(found, 512u);
}

TEST(WorldRootTrackerTest, ForgetDropsEntriesAndTheSleepCacheEntry) {
  Host host;
  auto tracker = NewTracker();
  uint8_t* kept = host.NewProp({host.NewBody()}, host.NewMesh());
  uint8_t* forgotten = host.NewProp({host.NewBody(0, 0), host.NewBody(0, 0)}, host.NewMesh());
  Stage(*tracker, kept, 1);
  Stage(*tracker, forgotten, 1);
  ASSERT_NE(tracker->sleepCache().Find(forgotten), nullptr);
  tracker->Forget(forgotten);
  EXPECT_EQ(tracker->bodies().InUse(), 1u);
  EXPECT_EQ(tracker->sleepCache().Find(forgotten), nullptr);
  EXPECT_NE(tracker->sleepCache().Find(kept), nullptr);
  EXPECT_NE(tracker->bodies().Find(kept, Get<void* const*>(kept, 0x260)[0]), nullptr);
}

// More keys than entries cycle through each table: every lookup finds its own entry and no
// key is held by two entries, although each eviction gives an entry a new key.
TEST(WorldRootTrackerTest, EvictionsKeepEveryTableIndexed) {
  const auto key = [](uint32_t i) { return reinterpret_cast<void*>(uintptr_t{0x100000 + i * 0x30}); };
  auto bodies = std::make_unique<WorldBodyTable>();
  auto models = std::make_unique<WorldModelHistories>();
  auto sleep = std::make_unique<WorldSleepCache>();
  bodies->Clear();
  for (uint32_t i = 0; i < 1500; ++i) {
    WorldBodyStaging staging;
    staging.owner = key(i % 700);  // owners with several bodies
    staging.body = key(i);
    WorldBodyEntry* entry = bodies->Stage(staging, i + 1);
    ASSERT_NE(entry, nullptr) << i;
    entry->staged = false;  // as the tick's capture leaves it
    ModelHistory* model = models->Take(key(i), nullptr, i + 1);
    ASSERT_NE(model, nullptr) << i;
    model->lastCapturedTick = i + 1;
    sleep->Record(key(i), 1, i + 1, true, false);
    if (i % 50 != 49) continue;
    for (const WorldBodyEntry& e : bodies->entries()) {
      ASSERT_TRUE(!e.inUse || bodies->Find(e.owner, e.body) == &e) << i;
    }
    for (const ModelHistory& m : models->entries()) {
      ASSERT_TRUE(!m.inUse || models->Find(m.subMesh) == &m) << i;
    }
    for (const SleepCacheEntry& s : sleep->entries()) {
      ASSERT_TRUE(!s.inUse || sleep->Find(s.prop) == &s) << i;
    }
    // One slot per entry: a slot left under an old key would fill the index over time.
    ASSERT_EQ(bodies->index().Occupied(), bodies->InUse()) << i;
    ASSERT_EQ(models->index().Occupied(), models->InUse()) << i;
    ASSERT_EQ(sleep->index().Occupied(), std::min<uint32_t>(i + 1, 512)) << i;
  }
  // The newest 512 keys are the ones held.
  for (uint32_t i = 0; i < 1500; ++i) {
    const bool held = i >= 988;
    EXPECT_EQ(bodies->Find(key(i % 700), key(i)) != nullptr, held) << i;
    EXPECT_EQ(models->Find(key(i)) != nullptr, held) << i;
    EXPECT_EQ(sleep->Find(key(i)) != nullptr, held) << i;
  }
}

}  // namespace
}  // namespace driftglass
