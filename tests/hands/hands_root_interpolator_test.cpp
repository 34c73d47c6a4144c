#include "hands/hands_root_interpolator.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "hands/hands_root_result.h"
#include "host/hook_slots.h"
#include "support/fake_entities.h"

namespace driftglass {
namespace {

using namespace test;  // the fake host entities

constexpr size_t kCacheOffset = 0x100;

// Turned about z by angle, then moved to (x, y, z).
RigidTransform Pose(double angle, float x, float y = 0.0f, float z = 0.0f) {
  RigidTransform t = IdentityTransform();
  t.m[0] = t.m[5] = static_cast<float>(std::cos(angle));
  t.m[4] = static_cast<float>(std::sin(angle));
  t.m[1] = -t.m[4];
  t.m[3] = x;
  t.m[7] = y;
  t.m[11] = z;
  return t;
}

RigidTransform Times(const RigidTransform& a, const RigidTransform& b) {
  RigidTransform out = {};
  EXPECT_TRUE(MultiplyTransforms(a, b, out));
  return out;
}

void ExpectMatrix(const float* actual, const RigidTransform& expected) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected.m[i], 2e-5f) << "element " << i;
}

ClockSample Interpolated(uint64_t previous, double alpha, uint64_t generation = 0) {
  ClockSample s;
  s.kind = kSampleInterpolated;
  s.previousTick = previous;
  s.currentTick = previous + 1;
  s.alpha = alpha;
  s.generation = generation;
  return s;
}

// The hands, their mesh, a held and an idle hand object, laid out as the host's.
struct Host {
  uint8_t* const arena = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 1 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  size_t used = 0;
  std::vector<uint8_t*> pages;
  uint8_t* hands = Take(0x70);
  uint8_t* handsMesh = NewMesh(Pose(0, 1));
  uint8_t* heldMesh = NewMesh(IdentityTransform());
  uint8_t* held = NewHandObject(heldMesh);
  uint8_t* idle = NewHandObject(NewMesh(IdentityTransform(), 0));

  Host() {
    Put(hands, 0x44, handsMesh);
    SetArray(hands, 0x60, {idle, held});
  }
  ~Host() {
    for (uint8_t* page : pages) VirtualFree(page, 0, MEM_RELEASE);
    VirtualFree(arena, 0, MEM_RELEASE);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  uint8_t* Take(size_t bytes) {
    uint8_t* p = arena + used;
    used += (bytes + 15) & ~size_t{15};
    return p;
  }
  uint8_t* NewMesh(const RigidTransform& world, uint8_t active = 1) {
    uint8_t* mesh = Take(0x30);
    mesh[0x24] = active;
    Put(mesh, kFakeWorld, Take(64));
    SetWorld(mesh, world);
    return mesh;
  }
  uint8_t* NewHandObject(uint8_t* mesh) {
    uint8_t* object = Take(0x120);
    Put(object, 0xF4, mesh);
    return object;
  }
  uint8_t* NewSubMesh(const void* owner) {
    uint8_t* subMesh = Take(0x374);
    Put(subMesh, 0x370, owner);
    return subMesh;
  }
  // The cache sits on a page of its own among bytes nobody may touch.
  uint8_t* NewAttachment(const void* parent, const RigidTransform& cache) {
    auto* page = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    pages.push_back(page);
    for (size_t i = 0; i < 4096; ++i) page[i] = static_cast<uint8_t>(i * 7 + 3);
    uint8_t* entity = Take(0x10);
    Put(entity, kFakeWorld, page + kCacheOffset);
    Put(entity, kFakeParent, parent);
    SetWorld(entity, cache);
    return entity;
  }
  void SetArray(uint8_t* object, size_t offset, const std::vector<const void*>& entries) {
    uint8_t* array = Take(4 * entries.size() + 4);
    memcpy(array, entries.data(), 4 * entries.size());
    Put(object, offset, array);
    Put(object, offset + 4, array + 4 * entries.size());
  }
  // Moves an array's begin and end pointers by the given byte counts.
  static void Shift(uint8_t* object, size_t offset, int begin, int end) {
    Put(object, offset, Get<uintptr_t>(object, offset) + begin);
    Put(object, offset + 4, Get<uintptr_t>(object, offset + 4) + end);
  }
  static float* World(const void* entity) { return Get<float*>(entity, kFakeWorld); }
  static void SetWorld(const void* entity, const RigidTransform& m) {
    memcpy(World(entity), &m, 64);
  }
  static uint8_t* Page(const void* attachment) {
    return reinterpret_cast<uint8_t*>(World(attachment)) - kCacheOffset;
  }
  static void Protect(const void* attachment, DWORD protection) {
    DWORD previous;
    ASSERT_TRUE(VirtualProtect(Page(attachment), 4096, protection, &previous));
  }
};

std::unique_ptr<HandsRootInterpolator> Fresh() {
  auto h = std::make_unique<HandsRootInterpolator>();
  h->Configure(reinterpret_cast<uintptr_t>(&FakeGetWorldMatrix),
               reinterpret_cast<uintptr_t>(&FakeGetEntityParent));
  return h;
}

uint32_t Tick(HandsRootInterpolator& h, Host& host, uint64_t tick, const RigidTransform& root,
              uint64_t generation = 0) {
  Host::SetWorld(host.handsMesh, root);
  EXPECT_EQ(h.Stage(host.hands), kHandsRootStaged) << "tick " << tick;
  return h.Capture(tick, generation);
}

// Roots 1 (x 1, straight) and 2 (x 2, turned 0.4): halfway is x 1.5, turned 0.2.
const RigidTransform kRoot1 = Pose(0, 1);
const RigidTransform kRoot2 = Pose(0.4, 2);
const RigidTransform kHalfway = Pose(0.2, 1.5);

void TwoTicks(HandsRootInterpolator& h, Host& host) {
  ASSERT_EQ(Tick(h, host, 1, kRoot1), kHandsRootIdentityChanged);
  ASSERT_EQ(Tick(h, host, 2, kRoot2), kHandsRootCaptured);
}

TEST(HandsRootInterpolator, StageRefusesImplausibleHands) {
  const struct {
    const char* name;
    void (*change)(Host&);
    uint32_t expected;
  } cases[] = {
      {"as laid out", [](Host&) {}, kHandsRootStaged},
      {"mesh inactive", [](Host& h) { h.handsMesh[0x24] = 0; }, kHandsRootInvalid},
      {"mesh flag 2", [](Host& h) { h.handsMesh[0x24] = 2; }, kHandsRootInvalid},
      {"no mesh", [](Host& h) { Put(h.hands, 0x44, nullptr); }, kHandsRootInvalid},
      {"scaled root", [](Host& h) { Host::World(h.handsMesh)[0] = 1.01f; }, kHandsRootInvalid},
      {"no hand objects", [](Host& h) { h.SetArray(h.hands, 0x60, {}); }, kHandsRootStaged},
      {"reversed", [](Host& h) { Host::Shift(h.hands, 0x60, 8, -8); }, kHandsRootInvalid},
      {"misaligned", [](Host& h) { Host::Shift(h.hands, 0x60, 0, -2); }, kHandsRootInvalid},
      {"null begin", [](Host& h) { Put(h.hands, 0x60, nullptr); }, kHandsRootInvalid},
      {"64 objects", [](Host& h) { h.SetArray(h.hands, 0x60, {64, h.idle}); }, kHandsRootStaged},
      {"65 objects", [](Host& h) { h.SetArray(h.hands, 0x60, {65, h.idle}); }, kHandsRootInvalid},
      {"null object", [](Host& h) { h.SetArray(h.hands, 0x60, {h.held, nullptr}); },
       kHandsRootInvalid},
      {"object without mesh", [](Host& h) { Put(h.idle, 0xF4, nullptr); }, kHandsRootStaged},
      {"object flag 2", [](Host& h) { Get<uint8_t*>(h.idle, 0xF4)[0x24] = 2; }, kHandsRootInvalid},
      {"two held, one mesh",
       [](Host& h) { h.SetArray(h.hands, 0x60, {h.held, h.NewHandObject(h.heldMesh)}); },
       kHandsRootStaged},
      {"two held, two meshes",
       [](Host& h) {
         h.SetArray(h.hands, 0x60, {h.held, h.NewHandObject(h.NewMesh(IdentityTransform()))});
       },
       kHandsRootInvalid},
  };
  for (const auto& c : cases) {
    Host host;
    auto h = Fresh();
    c.change(host);
    EXPECT_EQ(h->Stage(host.hands), c.expected) << c.name;
    EXPECT_EQ(h->Capture(1, 0), c.expected == kHandsRootStaged ? kHandsRootIdentityChanged
                                                               : kHandsRootUnavailable)
        << c.name;
  }
}

TEST(HandsRootInterpolator, CaptureResultsFollowTheRootHistory) {
  const struct {
    uint64_t tick, generation;
    RigidTransform root;
    uint32_t expected;
  } cases[] = {
      {3, 0, Pose(0.4, 2.5), kHandsRootCaptured},
      {2, 0, kRoot2, kHandsRootCaptured},  // the same tick again, unchanged
      {2, 0, Pose(0.4, 2.1), kHandsRootSameTickMutation},
      {1, 0, kRoot1, kHandsRootNonMonotonic},
      {4, 0, kRoot2, kHandsRootDiscontinuity},
      {3, 0, Pose(0.4, 8), kHandsRootDiscontinuity},
      {3, 1, kRoot2, kHandsRootGeneration},
  };
  for (const auto& c : cases) {
    Host host;
    auto h = Fresh();
    TwoTicks(*h, host);
    EXPECT_EQ(Tick(*h, host, c.tick, c.root, c.generation), c.expected)
        << "tick " << c.tick << " x " << c.root.m[3];
  }
}

TEST(HandsRootInterpolator, HeldObjectSwitchDropsItsHistoriesButNotTheRoot) {
  Host host;
  auto h = Fresh();
  const float* result = nullptr;
  uint8_t* const subMesh = host.NewSubMesh(host.heldMesh);
  const RigidTransform held = Pose(0, 0, 0, 1);
  TwoTicks(*h, host);
  ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
  EXPECT_EQ(h->ModelMatrix(subMesh, held.m, result), kHandsModelAppliedHandObject) << "one tick";
  h->Restore();
  ASSERT_EQ(Tick(*h, host, 3, Pose(0.4, 3)), kHandsRootCaptured);
  ASSERT_EQ(h->Apply(Interpolated(2, 0.5)), kHandsRootRenderReady);
  EXPECT_EQ(h->ModelMatrix(subMesh, held.m, result), kHandsModelAppliedHandObjectHistory);
  h->Restore();

  // The host let go of the object and reused its sub-mesh for the next one it picked up.
  uint8_t* const nextMesh = host.NewMesh(IdentityTransform());
  host.heldMesh[0x24] = 0;
  host.SetArray(host.hands, 0x60, {host.held, host.NewHandObject(nextMesh)});
  Put(subMesh, 0x370, nextMesh);
  ASSERT_EQ(Tick(*h, host, 4, Pose(0.4, 4)), kHandsRootCaptured);
  ASSERT_EQ(h->Apply(Interpolated(3, 0.5)), kHandsRootRenderReady);
  const RigidTransform moved = Pose(0, 0, 0, 3);
  EXPECT_EQ(h->ModelMatrix(subMesh, moved.m, result), kHandsModelAppliedHandObject);
  h->Restore();

  // With nothing held, a sub-mesh without an owner is not taken for the held object's.
  nextMesh[0x24] = 0;
  ASSERT_EQ(Tick(*h, host, 5, Pose(0.4, 5)), kHandsRootCaptured);
  ASSERT_EQ(h->Apply(Interpolated(4, 0.5)), kHandsRootRenderReady);
  EXPECT_EQ(h->ModelMatrix(host.NewSubMesh(nullptr), moved.m, result), kHandsModelNotHands);
  h->Restore();

  // A tick without the hands' update drops everything; they come back as a new identity.
  EXPECT_EQ(h->Capture(6, 0), kHandsRootUnavailable);
  EXPECT_EQ(h->Apply(Interpolated(5, 0.5)), kHandsRootUnavailable);
  EXPECT_EQ(Tick(*h, host, 7, Pose(0.4, 7)), kHandsRootIdentityChanged);
  EXPECT_EQ(h->Apply(Interpolated(6, 0.5)), kHandsRootSnapshotsMissing);
  EXPECT_EQ(Tick(*h, host, 8, Pose(0.4, 8)), kHandsRootCaptured);
  Put(host.hands, 0x44, host.NewMesh(Pose(0.4, 8)));
  EXPECT_EQ(Tick(*h, host, 9, Pose(0.4, 9)), kHandsRootIdentityChanged);
  EXPECT_EQ(h->Apply(Interpolated(8, 0.5)), kHandsRootSnapshotsMissing);
}

TEST(HandsRootInterpolator, NothingIsCorrectedWithoutTwoTicks) {
  const struct {
    const char* name;
    int ticks;  // negative: two ticks, then the host's root goes bad
    ClockSample sample;
    uint32_t expected;
  } cases[] = {
      {"no tick", 0, Interpolated(1, 0.5), kHandsRootUnavailable},
      {"one tick", 1, Interpolated(1, 0.5), kHandsRootSnapshotsMissing},
      {"clock unavailable", 2, ClockSample{}, kHandsRootClockUnavailable},
      {"other generation", 2, Interpolated(1, 0.5, 1), kHandsRootClockUnavailable},
      {"host root broken", -2, Interpolated(1, 0.5), kHandsRootApplyFailed},
  };
  for (const auto& c : cases) {
    Host host;
    auto h = Fresh();
    uint8_t* const attachment = host.NewAttachment(host.heldMesh, Pose(0, 5));
    host.SetArray(host.held, 0xF8, {attachment});
    const std::vector<uint8_t> page(Host::Page(attachment), Host::Page(attachment) + 4096);
    for (int tick = 1; tick <= std::abs(c.ticks); ++tick) Tick(*h, host, tick, Pose(0, tick));
    if (c.ticks < 0) Host::World(host.handsMesh)[5] = 2.0f;
    EXPECT_EQ(h->Apply(c.sample), c.expected) << c.name;
    const RigidTransform own = Pose(0, 3);
    const float* result = own.m;
    EXPECT_EQ(h->ModelMatrix(host.NewSubMesh(host.handsMesh), own.m, result), kHandsModelNotHands)
        << c.name;
    EXPECT_EQ(result, own.m);
    EXPECT_EQ(h->attachmentCounts().seen, 0u) << c.name;
    EXPECT_EQ(memcmp(page.data(), Host::Page(attachment), 4096), 0) << c.name;
    EXPECT_EQ(h->Restore(), 0u);
  }
}

TEST(HandsRootInterpolator, RendererMatricesFollowTheInterpolatedRoot) {
  Host host;
  auto h = Fresh();
  TwoTicks(*h, host);
  // Each sub-mesh sits at a fixed place on the hands: the host draws it at root 2.
  const RigidTransform local = Pose(0.3, 0.5, 0.2, -0.1);
  const RigidTransform atRoot2 = Times(kRoot2, local);
  uint8_t* const handsSub = host.NewSubMesh(host.handsMesh);
  uint8_t* const heldSub = host.NewSubMesh(host.heldMesh);
  ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
  const float* result = atRoot2.m;
  EXPECT_EQ(h->ModelMatrix(handsSub, atRoot2.m, result), kHandsModelApplied);
  EXPECT_NE(result, atRoot2.m);
  ExpectMatrix(result, Times(kHalfway, local));
  EXPECT_EQ(h->ModelMatrix(heldSub, atRoot2.m, result), kHandsModelAppliedHandObject);
  ExpectMatrix(result, Times(kHalfway, local));

  const RigidTransform other = Pose(0, 9);
  result = other.m;
  EXPECT_EQ(h->ModelMatrix(host.NewSubMesh(host.NewMesh(other)), other.m, result),
            kHandsModelNotHands);
  EXPECT_EQ(h->ModelMatrix(handsSub, nullptr, result), kHandsModelInvalid);
  EXPECT_EQ(result, other.m) << "a refusal leaves the host's matrix";
  EXPECT_EQ(h->Restore(), 0u);
  EXPECT_EQ(h->ModelMatrix(handsSub, atRoot2.m, result), kHandsModelNotHands) << "render over";

  // The view correction goes on the left of everything, including the held object's own blend.
  const RigidTransform view = Pose(-0.1, 0, 0.3, 0);
  RigidTransform sheared = IdentityTransform();
  sheared.m[1] = 0.5f;
  EXPECT_FALSE(h->SetViewCorrection(&sheared));
  EXPECT_FALSE(h->viewCorrectionPresent());
  ASSERT_TRUE(h->SetViewCorrection(&view));
  ASSERT_TRUE(h->viewCorrectionPresent());
  const RigidTransform root3 = Pose(0.4, 3), quarter = Pose(0.4, 2.25);
  ASSERT_EQ(Tick(*h, host, 3, root3), kHandsRootCaptured);
  ASSERT_EQ(h->Apply(Interpolated(2, 0.25)), kHandsRootRenderReady);
  const RigidTransform atRoot3 = Times(root3, local);
  EXPECT_EQ(h->ModelMatrix(handsSub, atRoot3.m, result), kHandsModelApplied);
  ExpectMatrix(result, Times(view, Times(quarter, local)));
  // The held sub-mesh also slid along the hands between ticks 2 and 3 (local x 0.5 to 1.5).
  const RigidTransform heldAt3 = Times(root3, Pose(0.3, 1.5, 0.2, -0.1));
  EXPECT_EQ(h->ModelMatrix(heldSub, heldAt3.m, result), kHandsModelAppliedHandObjectHistory);
  ExpectMatrix(result, Times(view, Times(quarter, Pose(0.3, 0.75, 0.2, -0.1))));
  EXPECT_EQ(h->Restore(), 0u);
  ASSERT_TRUE(h->SetViewCorrection(nullptr));
  EXPECT_FALSE(h->viewCorrectionPresent());

  // The correction starts from where the host draws the hands now, not from the last tick.
  ASSERT_EQ(Tick(*h, host, 4, Pose(0.4, 4)), kHandsRootCaptured);
  const RigidTransform now = Times(Pose(0.4, 4.5), local);
  Host::SetWorld(host.handsMesh, Pose(0.4, 4.5));
  ASSERT_EQ(h->Apply(Interpolated(3, 0.5)), kHandsRootRenderReady);
  EXPECT_EQ(h->ModelMatrix(handsSub, now.m, result), kHandsModelApplied);
  ExpectMatrix(result, Times(Pose(0.4, 3.5), local));
  h->Restore();
}

TEST(HandsRootInterpolator, SlotsAndHeldObjectHistoriesRunOut) {
  Host host;
  auto h = Fresh();
  TwoTicks(*h, host);
  const RigidTransform m = Pose(0, 2);
  std::vector<uint8_t*> subMeshes;
  for (int i = 0; i < 129; ++i) subMeshes.push_back(host.NewSubMesh(host.handsMesh));
  const auto frame = [&](int count, uint32_t belowLimit) {
    ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
    for (int i = 0; i < count; ++i) {
      const float* result = m.m;
      const uint32_t expected = i < 128 ? belowLimit : kHandsModelSlotsExhausted;
      ASSERT_EQ(h->ModelMatrix(subMeshes[i], m.m, result), expected) << i;
      EXPECT_EQ(result == m.m, expected == kHandsModelSlotsExhausted) << i;
    }
  };
  frame(129, kHandsModelApplied);
  const float* first = m.m;
  const float* again = m.m;
  h->Restore();
  frame(1, kHandsModelApplied);
  ASSERT_EQ(h->ModelMatrix(subMeshes[0], m.m, first), kHandsModelApplied);
  EXPECT_EQ(h->ModelMatrix(subMeshes[0], m.m, again), kHandsModelApplied);
  EXPECT_EQ(again, first) << "a sub-mesh keeps its slot for the frame";
  EXPECT_EQ(h->ModelMatrix(subMeshes[128], m.m, again), kHandsModelApplied) << "slots freed";
  h->Restore();

  // 128 held sub-meshes take every history; the slots come back the next frame, they do not.
  for (uint8_t* subMesh : subMeshes) Put(subMesh, 0x370, host.heldMesh);
  frame(129, kHandsModelAppliedHandObject);
  h->Restore();
  ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
  const float* result = m.m;
  EXPECT_EQ(h->ModelMatrix(subMeshes[128], m.m, result), kHandsModelSlotsExhausted);
  EXPECT_EQ(h->ModelMatrix(subMeshes[0], m.m, result), kHandsModelAppliedHandObject);
  h->Restore();
}

TEST(HandsRootInterpolator, AttachmentsAreCorrectedOnceAndRestoredByteForByte) {
  Host host;
  auto h = Fresh();
  TwoTicks(*h, host);
  // Attachments hang at fixed places on the held object, which the host draws at root 2.
  const RigidTransform localA = Pose(0.1, 0, 0.5, 0), localB = Pose(-0.2, 0.3, 0, 0);
  uint8_t* const a = host.NewAttachment(host.heldMesh, Times(kRoot2, localA));
  uint8_t* const b = host.NewAttachment(host.heldMesh, Times(kRoot2, localB));
  uint8_t* const shared = host.NewAttachment(host.heldMesh, IdentityTransform());
  uint8_t* const elsewhere = host.NewAttachment(host.handsMesh, Pose(0, 4));
  RigidTransform scaled = Pose(0, 4);
  scaled.m[0] = 1.01f;
  uint8_t* const broken = host.NewAttachment(host.heldMesh, scaled);
  const uint8_t* const pages[] = {Host::Page(a), Host::Page(b), Host::Page(shared),
                                  Host::Page(elsewhere), Host::Page(broken)};
  Put(shared, kFakeWorld, Host::World(a));  // two entities, one cache
  host.SetArray(host.held, 0xF8, {a, a});
  host.SetArray(host.held, 0x108, {b, elsewhere, nullptr, shared});
  host.SetArray(host.held, 0x118, {broken});
  std::vector<std::vector<uint8_t>> before;
  for (const uint8_t* page : pages) before.emplace_back(page, page + 4096);
  const auto expectUntouched = [&](size_t from, const char* when) {
    for (size_t i = from; i < 5; ++i) {
      EXPECT_EQ(memcmp(before[i].data(), pages[i], 4096), 0) << when << ", page " << i;
    }
  };

  // Twice without a Restore between: the second Apply starts from the host's own bytes.
  for (int apply = 0; apply < 2; ++apply) {
    ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
    const HandsAttachmentCounts& n = h->attachmentCounts();
    EXPECT_EQ(n.seen, 7u);
    EXPECT_EQ(n.applied, 2u);
    EXPECT_EQ(n.parentMiss, 1u);
    EXPECT_EQ(n.invalid, 2u);
    EXPECT_EQ(n.full, 0u);
    ExpectMatrix(Host::World(a), Times(kHalfway, localA));
    ExpectMatrix(Host::World(b), Times(kHalfway, localB));
    expectUntouched(2, "not corrected");
  }
  EXPECT_EQ(h->Restore(), 0u);
  expectUntouched(0, "restored");

  // A cache that turned read-only during the render is counted; the others still come back.
  // When the render's Restore never came, the next Apply restores and the Restore after it counts.
  for (bool restoredByApply : {false, true}) {
    ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
    Host::Protect(b, PAGE_READONLY);
    uint32_t failures = 0;
    if (restoredByApply) {
      ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
    } else {
      failures = h->Restore();
    }
    Host::Protect(b, PAGE_READWRITE);
    if (restoredByApply) failures = h->Restore();
    EXPECT_EQ(failures, 1u) << restoredByApply;
    ExpectMatrix(Host::World(b), Times(kHalfway, localB));
    memcpy(Host::Page(b), before[1].data(), 4096);
    expectUntouched(0, "the others restored");
  }

  // Reconfiguring mid-render gives the caches back too.
  ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
  h->Configure(reinterpret_cast<uintptr_t>(&FakeGetWorldMatrix),
               reinterpret_cast<uintptr_t>(&FakeGetEntityParent));
  expectUntouched(0, "after Configure");
}

TEST(HandsRootInterpolator, AttachmentArraysAreCheckedAndRecordsCapped) {
  Host host;
  auto h = Fresh();
  TwoTicks(*h, host);
  std::vector<const void*> all;
  for (int i = 0; i < 33; ++i) all.push_back(host.NewAttachment(host.heldMesh, kRoot2));
  const std::vector<const void*> first32(all.begin(), all.end() - 1);
  const std::vector<const void*> two(all.begin(), all.begin() + 2);
  const struct {
    const char* name;
    size_t offset;
    const std::vector<const void*>& entries;
    int beginShift, endShift;
    HandsAttachmentCounts expected;
  } cases[] = {
      {"32 here, 1 more in another array", 0xF8, first32, 0, 0, {33, 32, 0, 0, 1}},
      {"33 in one array", 0x108, all, 0, 0, {0, 0, 0, 1, 0}},
      {"reversed", 0xF8, two, 12, 0, {0, 0, 0, 1, 0}},
      {"misaligned", 0x118, two, 0, -2, {0, 0, 0, 1, 0}},
  };
  for (const auto& c : cases) {
    for (size_t offset : {0xF8, 0x108, 0x118}) host.SetArray(host.held, offset, {});
    host.SetArray(host.held, c.offset, c.entries);
    Host::Shift(host.held, c.offset, c.beginShift, c.endShift);
    if (c.expected.full != 0) host.SetArray(host.held, 0x118, {all.back()});
    ASSERT_EQ(h->Apply(Interpolated(1, 0.5)), kHandsRootRenderReady);
    const HandsAttachmentCounts& n = h->attachmentCounts();
    EXPECT_EQ(n.seen, c.expected.seen) << c.name;
    EXPECT_EQ(n.applied, c.expected.applied) << c.name;
    EXPECT_EQ(n.invalid, c.expected.invalid) << c.name;
    EXPECT_EQ(n.full, c.expected.full) << c.name;
    if (n.full != 0) ExpectMatrix(Host::World(all.back()), kRoot2);
    EXPECT_EQ(h->Restore(), 0u);
  }
}

}  // namespace
}  // namespace driftglass
