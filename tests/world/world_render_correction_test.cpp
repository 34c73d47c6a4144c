#include "world/world_render_correction.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "host/hook_slots.h"
#include "support/fake_entities.h"
#include "world/world_root_interpolator.h"

namespace driftglass {
namespace {

using namespace test;  // the fake host entities

constexpr uint64_t kGeneration = 3;
const uintptr_t kGetWorldMatrix = reinterpret_cast<uintptr_t>(&FakeGetWorldMatrix);
const uintptr_t kGetEntityParent = reinterpret_cast<uintptr_t>(&FakeGetEntityParent);
const uintptr_t kGetEnabled = reinterpret_cast<uintptr_t>(&FakeGetEnabled);

// Turned about z by angle, at x on the x axis.
RigidTransform Pose(double angle, double x) {
  RigidTransform t = IdentityTransform();
  t.m[0] = t.m[5] = static_cast<float>(std::cos(angle));
  t.m[4] = static_cast<float>(std::sin(angle));
  t.m[1] = -t.m[4];
  t.m[3] = static_cast<float>(x);
  return t;
}
RigidTransform Times(const RigidTransform& a, const RigidTransform& b) {
  RigidTransform out = {};
  EXPECT_TRUE(MultiplyTransforms(a, b, out));
  return out;
}
bool Near(const float* actual, const RigidTransform& expected) {
  for (int i = 0; i < 16; ++i) {
    if (!(std::fabs(actual[i] - expected.m[i]) <= 2e-5f)) return false;
  }
  return true;
}

ClockSample Interpolated(double alpha, uint64_t previous = 1, uint64_t generation = kGeneration) {
  ClockSample s;
  s.kind = kSampleInterpolated;
  s.generation = generation;
  s.previousTick = previous;
  s.currentTick = previous + 1;
  s.alpha = alpha;
  return s;
}

// Ticks 1 and 2 of an entity that turns about z and slides along x: blends have a closed form.
struct Motion {
  double turn = 0, x0 = 0, step = 0;
  RigidTransform At(uint64_t tick) const { return Between(double(tick - 1)); }
  RigidTransform Between(double alpha) const { return Pose(turn * alpha, x0 + step * alpha); }
};

struct Answer {
  uint32_t result;
  const float* matrix;
  uint32_t diagnostic;
};
Answer Ask(WorldRenderCorrection& frame, const void* subMesh, const float* host) {
  Answer a{0, host, 99};
  a.result = frame.ModelMatrix(subMesh, host, a.matrix, a.diagnostic);
  return a;
}

// Props, Grunts, bodies, meshes and sub-meshes laid out as the host's, moved over two ticks.
struct Scene {
  uint8_t* const arena = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  size_t used = 0;
  std::vector<void*> pages;
  std::map<const void*, Motion> motions;
  std::vector<uint8_t*> props, grunts, standalones;
  std::map<uint8_t*, std::vector<const void*>> subMeshLists;
  std::unique_ptr<WorldRootTracker> tracker = std::make_unique<WorldRootTracker>();
  std::unique_ptr<WorldRenderCorrection> frame = std::make_unique<WorldRenderCorrection>();

  explicit Scene(bool parentResolved = true) {
    tracker->Configure(kGetWorldMatrix, parentResolved ? kGetEntityParent : 0, kGetEnabled);
  }
  ~Scene() {
    for (void* page : pages) VirtualFree(page, 0, MEM_RELEASE);
    VirtualFree(arena, 0, MEM_RELEASE);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  uint8_t* Take(size_t bytes) {
    uint8_t* p = arena + used;
    used += (bytes + 15) & ~size_t{15};
    return p;
  }
  uint8_t* Entity(size_t bytes, Motion motion = {}, float* world = nullptr) {
    uint8_t* entity = Take(bytes);
    Put(entity, kFakeWorld, world != nullptr ? world : reinterpret_cast<float*>(Take(64)));
    motions[entity] = motion;
    return entity;
  }
  // A world matrix alone on its page, so it can be locked.
  float* OwnPage() {
    pages.push_back(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    return static_cast<float*>(pages.back()) + 64;
  }
  uint8_t* Body(double turn = 0, double step = 0) {
    uint8_t* body = Entity(0x290, {turn, 0, step});
    body[kFakeAwake] = 1;
    return body;
  }
  uint8_t* Mesh(double turn = 0, double step = 0) {
    uint8_t* mesh = Entity(0x320, {turn, 0, step});
    Put<uint32_t>(mesh, 0x04, 0x1234);
    mesh[0x24] = 1;
    SetArray(mesh, 0x30C, {});
    return mesh;
  }
  // listed: in its mesh's sub-mesh array, so a multi-body prop keeps a history of it.
  uint8_t* SubMesh(uint8_t* owner, bool listed, const void* attached = nullptr,
                   const void* parent = nullptr, Motion motion = {0, 5, 0},
                   float* world = nullptr) {
    uint8_t* subMesh = Entity(0x380, motion, world);
    Put(subMesh, 0x370, owner);
    Put(subMesh, 0x288, attached);
    Put(subMesh, kFakeParent, parent);
    if (listed) {
      subMeshLists[owner].push_back(subMesh);
      SetArray(owner, 0x30C, subMeshLists[owner]);
    }
    return subMesh;
  }
  uint8_t* Joint(const void* parent) {
    uint8_t* joint = Take(0x10);
    Put(joint, kFakeParent, parent);
    return joint;
  }
  void Prop(const std::vector<const void*>& bodies, uint8_t* mesh) {
    uint8_t* prop = Take(0x490);
    Put<uint32_t>(prop, 0x40, 0xC0FFEE);
    SetArray(prop, 0x260, bodies);
    Put(prop, 0x340, mesh);
    props.push_back(prop);
  }
  void Grunt(uint8_t* mesh) {
    uint8_t* enemy = Take(0x830);
    Put<uint32_t>(enemy, 0x40, 0xE1);
    Put(enemy, 0x54C, mesh);
    grunts.push_back(enemy);
  }
  uint8_t* Standalone(double turn, double step) {
    uint8_t* body = Body(turn, step);
    body[0x24] = 1;
    Put<uint32_t>(body, 0x40, 0x5A5A);
    Put<uint32_t>(body, 0x280, 7);
    standalones.push_back(body);
    return body;
  }
  void SetArray(uint8_t* object, size_t offset, const std::vector<const void*>& entries) {
    uint8_t* array = Take(4 * entries.size() + 4);
    if (!entries.empty()) memcpy(array, entries.data(), 4 * entries.size());
    Put(object, offset, array);
    Put(object, offset + 4, array + 4 * entries.size());
  }
  void Tick(uint64_t tick) {
    for (const auto& [entity, motion] : motions) {
      memcpy(Get<float*>(entity, kFakeWorld), motion.At(tick).m, 64);
    }
    WorldPropInfo info;
    for (uint8_t* prop : props) ASSERT_EQ(tracker->StageProp(prop, tick, info), kWorldStagedProp);
    for (uint8_t* enemy : grunts) ASSERT_EQ(tracker->StageGrunt(enemy, tick), kWorldStagedGrunt);
    for (uint8_t* body : standalones) tracker->NoteMovedBody(body);
    tracker->Capture(tick, kGeneration);
  }
  WorldApplyCounts TwoTicksThenApply(const ClockSample& sample) {
    Tick(1);
    Tick(2);
    return frame->Apply(sample, *tracker);
  }
};

TEST(WorldRenderCorrectionTest, ResultNames) {
  const wchar_t* names[] = {
      L"not-world", L"applied-prop", L"applied-prop-parent", L"applied-prop-null-model",
      L"applied-prop-parent-null-model", L"applied-prop-direct-parent",
      L"applied-prop-direct-parent-null-model", L"applied-prop-model-history", L"applied-grunt",
      L"applied-standalone-body", L"applied-standalone-body-null-model", L"prop-parent-mismatch",
      L"invalid", L"slots-exhausted", L"unknown"};
  for (uint32_t i = 0; i < 15; ++i) EXPECT_STREQ(WorldModelResultName(i), names[i]);
}

// The scene's sub-mesh and the entity whose motion it should follow (nullptr: none).
struct Query {
  uint8_t* subMesh;
  uint8_t* follows;
};
struct TwoBodies {
  uint8_t* moving;
  uint8_t* other;
  uint8_t* mesh;
};
TwoBodies TwoBodyProp(Scene& s, bool bothMove = true) {
  TwoBodies p{s.Body(0.5, 0.5), bothMove ? s.Body(-0.3, 0.4) : s.Body(), s.Mesh()};
  s.Prop({p.moving, p.other}, p.mesh);
  return p;
}
Query SingleBodyProp(Scene& s) {
  uint8_t* body = s.Body(0.5, 0.5);
  uint8_t* mesh = s.Mesh();
  s.Prop({body}, mesh);
  return {s.SubMesh(mesh, false), body};
}
Query DirectParent(Scene& s) {
  const TwoBodies p = TwoBodyProp(s);
  return {s.SubMesh(p.mesh, true, p.other), p.other};
}
Query ParentWalkPastARestingBody(Scene& s) {
  const TwoBodies p = TwoBodyProp(s, false);
  Put(p.other, kFakeParent, p.moving);
  return {s.SubMesh(p.mesh, true, nullptr, s.Joint(p.other)), p.moving};
}
// The sub-mesh's parent's parent ... is the body, at step `steps` of the walk.
template <int steps>
Query ParentChain(Scene& s) {
  const TwoBodies p = TwoBodyProp(s);
  const void* parent = p.other;
  for (int i = 1; i < steps; ++i) parent = s.Joint(parent);
  return {s.SubMesh(p.mesh, true, nullptr, parent), steps <= 16 ? p.other : nullptr};
}
Query SelfParent(Scene& s) {
  uint8_t* joint = s.Joint(nullptr);
  Put(joint, kFakeParent, joint);
  return {s.SubMesh(TwoBodyProp(s).mesh, true, nullptr, joint), nullptr};
}
Query ParentFromAnotherProp(Scene& s) {
  const TwoBodies p = TwoBodyProp(s);
  uint8_t* foreign = s.Body(0.2, 0.2);
  s.Prop({foreign}, s.Mesh());
  return {s.SubMesh(p.mesh, true, nullptr, foreign), nullptr};
}
Query NoLinks(Scene& s) { return {s.SubMesh(TwoBodyProp(s).mesh, true), nullptr}; }
Query OneOfTwoMoving(Scene& s) { return {s.SubMesh(TwoBodyProp(s, false).mesh, true), nullptr}; }
Query Grunt(Scene& s) {
  uint8_t* mesh = s.Mesh(0.5, 0.5);
  s.Grunt(mesh);
  return {s.SubMesh(mesh, false), mesh};
}
Query Standalone(Scene& s) {
  uint8_t* body = s.Standalone(0.5, 0.5);
  return {s.SubMesh(s.Mesh(), false, body), body};
}
Query Unrelated(Scene& s) {
  SingleBodyProp(s);
  return {s.SubMesh(s.Mesh(), false), nullptr};
}

TEST(WorldRenderCorrectionTest, EachSubMeshFollowsTheBodyItIsTiedTo) {
  struct Case {
    const char* name;
    Query (*build)(Scene&);
    bool nullModel;
    uint32_t result;
    uint32_t diagnostic;  // 1: a body is chosen over the sub-mesh's (resting) history
    bool parentResolved = true;
  } cases[] = {
      {"single-body prop", SingleBodyProp, false, kWorldModelAppliedProp, 0},
      {"single-body prop, null model", SingleBodyProp, true, kWorldModelAppliedPropNullModel, 0},
      {"direct parent", DirectParent, false, kWorldModelAppliedPropDirectParent, 1},
      {"direct parent, null model", DirectParent, true,
       kWorldModelAppliedPropDirectParentNullModel, 1},
      {"parent walk", ParentChain<2>, false, kWorldModelAppliedPropParent, 1},
      {"parent walk, null model", ParentChain<2>, true, kWorldModelAppliedPropParentNullModel, 1},
      {"parent walk past a resting body", ParentWalkPastARestingBody, false,
       kWorldModelAppliedPropParent, 1},
      {"body 16 steps up", ParentChain<16>, false, kWorldModelAppliedPropParent, 1},
      {"body 17 steps up", ParentChain<17>, false, kWorldModelPropParentMismatch, 11},
      {"parent is another prop's body", ParentFromAnotherProp, false,
       kWorldModelPropParentMismatch, 11},
      {"entity its own parent", SelfParent, false, kWorldModelPropParentMismatch, 11},
      {"parent call unresolved", ParentChain<2>, false, kWorldModelPropParentMismatch, 11, false},
      {"no links", NoLinks, false, kWorldModelPropParentMismatch, 11},
      {"one body of two moving", OneOfTwoMoving, false, kWorldModelPropParentMismatch, 11},
      {"grunt", Grunt, false, kWorldModelAppliedGrunt, 0},
      {"grunt, null model", Grunt, true, kWorldModelInvalid, 0},
      {"standalone body", Standalone, false, kWorldModelAppliedStandaloneBody, 0},
      {"standalone body, null model", Standalone, true,
       kWorldModelAppliedStandaloneBodyNullModel, 0},
      {"unrelated sub-mesh", Unrelated, false, kWorldModelNotWorld, 0},
  };
  constexpr double kAlpha = 0.25;
  const RigidTransform local = Pose(0.3, 0.2);  // the sub-mesh's place on its body
  for (const Case& c : cases) {
    Scene s(c.parentResolved);
    const Query q = c.build(s);
    s.TwoTicksThenApply(Interpolated(kAlpha));
    // The host draws the sub-mesh where its body is at the newest tick.
    const Motion followed = q.follows != nullptr ? s.motions[q.follows] : Motion{};
    const RigidTransform host = Times(followed.At(2), local);
    const Answer a = Ask(*s.frame, q.subMesh, c.nullModel ? nullptr : host.m);
    EXPECT_EQ(a.result, c.result) << c.name;
    EXPECT_EQ(a.diagnostic, c.diagnostic) << c.name;
    if (c.result == kWorldModelNotWorld || c.result >= kWorldModelPropParentMismatch) {
      EXPECT_EQ(a.matrix, c.nullModel ? nullptr : host.m) << c.name;
      continue;
    }
    // Without a model matrix the correction alone: the blend times the newest tick's inverse.
    RigidTransform inverse = {};
    ASSERT_TRUE(InvertRigidTransform(followed.At(2), inverse));
    EXPECT_TRUE(Near(a.matrix, Times(followed.Between(kAlpha), c.nullModel ? inverse : local)))
        << c.name;
    EXPECT_EQ(s.frame->Restore(), 0u);
    EXPECT_EQ(Ask(*s.frame, q.subMesh, host.m).result, kWorldModelNotWorld);
    // The tick's next frame finds the answer it kept, and draws at its own fraction.
    s.frame->Apply(Interpolated(0.75), *s.tracker);
    const Answer again = Ask(*s.frame, q.subMesh, c.nullModel ? nullptr : host.m);
    EXPECT_EQ(again.result, c.result) << c.name;
    EXPECT_EQ(again.diagnostic, c.diagnostic) << c.name;
    EXPECT_TRUE(Near(again.matrix, Times(followed.Between(0.75), c.nullModel ? inverse : local))) << c.name;
    EXPECT_EQ(Ask(*s.frame, q.subMesh, c.nullModel ? nullptr : host.m).matrix, again.matrix)
        << c.name << ": drawn twice, one slot";
    EXPECT_EQ(s.frame->Restore(), 0u);
  }
}

// An answer holds for the frames of its ticks only: after the next tick another object at the
// same address, tied to no body, is asked about anew.
TEST(WorldRenderCorrectionTest, ANewTickAsksEverySubMeshAnew) {
  Scene s;
  const Query q = SingleBodyProp(s);
  s.TwoTicksThenApply(Interpolated(0.25));
  const RigidTransform host = Pose(0, 1);
  EXPECT_EQ(Ask(*s.frame, q.subMesh, host.m).result, kWorldModelAppliedProp);
  EXPECT_EQ(s.frame->Restore(), 0u);
  Put(q.subMesh, 0x370, s.Mesh());  // now part of a mesh no prop owns
  s.Tick(3);
  s.frame->Apply(Interpolated(0.25, 2), *s.tracker);
  const Answer a = Ask(*s.frame, q.subMesh, host.m);
  EXPECT_EQ(a.result, kWorldModelNotWorld);
  EXPECT_EQ(a.matrix, host.m);
}

// A two-body prop whose listed sub-mesh moves on its own, its world matrix on a page of its own.
struct HistoryScene : Scene {
  TwoBodies prop = TwoBodyProp(*this);
  float* cache = OwnPage();
  const Motion motion{0.4, 5, 0.3};
  uint8_t* subMesh = SubMesh(prop.mesh, true, nullptr, nullptr, motion, cache);
  ModelHistory& history() { return *tracker->modelHistories().Find(subMesh); }
  void Protect(DWORD protection) {
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(cache, 64, protection, &old));
  }
};

TEST(WorldRenderCorrectionTest, ASubMeshTiedToNoBodyFollowsItsOwnHistory) {
  struct Case {
    const char* name;
    double alpha;
    bool readOnlyCache, attachToABody, hostAlreadyThere;
    uint32_t diagnostic;
    uint32_t result = kWorldModelAppliedPropModelHistory;
  } cases[] = {
      {"cache written", 0.25, false, false, false, 13},
      {"cache written at the newest tick", 1.0, false, false, false, 12},
      {"cache read-only: own slot", 0.25, true, false, false, 13},
      {"cache read-only: own slot, host already there", 0.25, true, false, true, 12},
      {"attached to a moving body: the body wins", 0.25, false, true, false, 1,
       kWorldModelAppliedPropDirectParent},
  };
  for (const Case& c : cases) {
    HistoryScene s;
    if (c.attachToABody) Put(s.subMesh, 0x288, s.prop.other);
    s.Tick(1);
    s.Tick(2);
    if (c.readOnlyCache) s.Protect(PAGE_READONLY);
    const WorldApplyCounts counts = s.frame->Apply(Interpolated(c.alpha), *s.tracker);
    EXPECT_EQ(counts.modelReady, 1u) << c.name;
    EXPECT_EQ(counts.modelMovingReady, 1u) << c.name;
    const bool written = !c.readOnlyCache && !c.attachToABody;
    EXPECT_EQ(counts.modelCacheApplied, written ? 1u : 0u) << c.name;
    EXPECT_EQ(counts.modelCacheInvalid, c.readOnlyCache ? 1u : 0u) << c.name;
    const RigidTransform truth = s.motion.Between(c.alpha);
    EXPECT_TRUE(Near(s.cache, written ? truth : s.motion.At(2))) << c.name;
    const RigidTransform host = c.hostAlreadyThere ? truth : Pose(1, 1);
    const Answer a = Ask(*s.frame, s.subMesh, host.m);
    EXPECT_EQ(a.result, c.result) << c.name;
    EXPECT_EQ(a.diagnostic, c.diagnostic) << c.name;
    EXPECT_EQ(a.matrix == s.cache, written) << c.name;
    EXPECT_TRUE(c.attachToABody || Near(a.matrix, truth)) << c.name;
    EXPECT_EQ(s.frame->Restore(), 0u) << c.name;
    EXPECT_TRUE(Near(s.cache, s.motion.At(2))) << c.name;
    if (c.readOnlyCache) s.Protect(PAGE_READWRITE);
  }
}

TEST(WorldRenderCorrectionTest, AHistoryThatCannotPairLeavesTheHostMatrix) {
  const float host[16] = {};
  // Resting between the ticks (its history keeps one entry), on a prop with two moving bodies.
  Scene resting;
  const Query q = NoLinks(resting);
  resting.TwoTicksThenApply(Interpolated(0.5));
  Answer a = Ask(*resting.frame, q.subMesh, host);
  EXPECT_EQ(a.result, kWorldModelPropParentMismatch);
  EXPECT_EQ(a.diagnostic, 11u);
  EXPECT_EQ(a.matrix, host);
  // The same, but no body of its prop moved either: nothing ties it to this frame.
  Scene still;
  SingleBodyProp(still);
  uint8_t* mesh = still.Mesh();
  still.Prop({still.Body(), still.Body()}, mesh);
  uint8_t* subMesh = still.SubMesh(mesh, true);
  still.TwoTicksThenApply(Interpolated(0.5));
  a = Ask(*still.frame, subMesh, host);
  EXPECT_EQ(a.result, kWorldModelNotWorld);
  EXPECT_EQ(a.diagnostic, 11u);
  // Its ticks belong to another clock generation than the frame's.
  HistoryScene s;
  s.Tick(1);
  s.Tick(2);
  RigidTransformHistory& history = s.history().history;
  const RigidTransform older = history.entry(0).snapshot, newer = history.entry(1).snapshot;
  history.ClearHistory();
  history.AppendSnapshot(1, kGeneration + 1, older);
  history.AppendSnapshot(2, kGeneration + 1, newer);
  const WorldApplyCounts counts = s.frame->Apply(Interpolated(0.5), *s.tracker);
  EXPECT_EQ(counts.modelReady, 0u);
  EXPECT_EQ(counts.ready, 2u);
  a = Ask(*s.frame, s.subMesh, host);
  EXPECT_EQ(a.result, kWorldModelPropParentMismatch);
  EXPECT_EQ(a.diagnostic, 7u);
  EXPECT_EQ(a.matrix, host);
}

TEST(WorldRenderCorrectionTest, The513thSubMeshOfAFrameKeepsTheHostMatrix) {
  HistoryScene s;
  uint8_t* mesh = s.Mesh();
  s.Prop({s.Body(0.5, 0.5)}, mesh);
  std::vector<uint8_t*> subMeshes;
  for (int i = 0; i < 514; ++i) subMeshes.push_back(s.SubMesh(mesh, false));
  s.Tick(1);
  s.Tick(2);
  s.Protect(PAGE_READONLY);  // the history sub-mesh needs a slot too
  s.frame->Apply(Interpolated(0.5), *s.tracker);
  // A product that fails takes no slot: the 512 after it still get theirs.
  RigidTransform huge;
  for (float& value : huge.m) value = FLT_MAX;
  EXPECT_EQ(Ask(*s.frame, subMeshes[513], huge.m).result, kWorldModelInvalid);
  const RigidTransform host = Pose(0, 1);
  for (int i = 0; i < 513; ++i) {
    const Answer a = Ask(*s.frame, subMeshes[i], host.m);
    ASSERT_EQ(a.result, i < 512 ? kWorldModelAppliedProp : kWorldModelSlotsExhausted) << i;
    ASSERT_EQ(a.matrix == host.m, i == 512) << i;
  }
  const Answer again = Ask(*s.frame, subMeshes[7], host.m);  // keeps its slot
  EXPECT_EQ(again.result, kWorldModelAppliedProp);
  EXPECT_NE(again.matrix, host.m);
  const Answer history = Ask(*s.frame, s.subMesh, host.m);
  EXPECT_EQ(history.result, kWorldModelSlotsExhausted);
  EXPECT_EQ(history.diagnostic, 10u);
  EXPECT_EQ(history.matrix, host.m);
  s.Protect(PAGE_READWRITE);
}

TEST(WorldRenderCorrectionTest, CachesComeBackByteForByteOrRestartTheirHistory) {
  struct Case {
    const char* name;
    bool applyTwice, sharedCache;
    DWORD lockBeforeRestore;
    uint32_t answerWhileLocked, restoreFailures;
  } cases[] = {
      {"one frame", false, false, 0, kWorldModelAppliedPropModelHistory, 0},
      {"an Apply over an unrestored frame", true, false, 0, kWorldModelAppliedPropModelHistory, 0},
      {"two sub-meshes sharing one cache", false, true, 0, kWorldModelAppliedPropModelHistory, 0},
      {"read-only before Restore", false, false, PAGE_READONLY,
       kWorldModelAppliedPropModelHistory, 1},
      {"no access before Restore", false, false, PAGE_NOACCESS, kWorldModelInvalid, 1},
  };
  for (const Case& c : cases) {
    HistoryScene s;
    if (c.sharedCache) s.SubMesh(s.prop.mesh, true, nullptr, nullptr, s.motion, s.cache);
    s.Tick(1);
    s.Tick(2);
    // The host's bytes hold a -0.0 the captured matrix does not: only the saved bytes match.
    s.cache[2] = -0.0f;
    uint8_t before[64];
    memcpy(before, s.cache, 64);
    const uint32_t writes = c.sharedCache ? 2 : 1;
    EXPECT_EQ(s.frame->Apply(Interpolated(0.5), *s.tracker).modelCacheApplied, writes) << c.name;
    if (c.applyTwice) {
      EXPECT_EQ(s.frame->Apply(Interpolated(0.5), *s.tracker).modelRestoreFail, 0u) << c.name;
    }
    EXPECT_TRUE(Near(s.cache, s.motion.Between(0.5))) << c.name;
    if (c.lockBeforeRestore != 0) s.Protect(c.lockBeforeRestore);
    const Answer a = Ask(*s.frame, s.subMesh, nullptr);
    EXPECT_EQ(a.result, c.answerWhileLocked) << c.name;
    EXPECT_EQ(s.frame->Restore(), c.restoreFailures) << c.name;
    EXPECT_FALSE(s.history().cacheApplied) << c.name;
    if (c.lockBeforeRestore != 0) s.Protect(PAGE_READWRITE);
    EXPECT_EQ(s.history().history.count(), c.restoreFailures != 0 ? 0u : 2u) << c.name;
    EXPECT_TRUE(c.restoreFailures != 0 || memcmp(before, s.cache, 64) == 0) << c.name;
  }
  // A cache locked between two Applies is counted by the second.
  HistoryScene s;
  s.TwoTicksThenApply(Interpolated(0.5));
  s.Protect(PAGE_READONLY);
  EXPECT_EQ(s.frame->Apply(Interpolated(0.5), *s.tracker).modelRestoreFail, 1u);
  s.Protect(PAGE_READWRITE);
}

TEST(WorldRenderCorrectionTest, ApplyCountsWhatItCouldPair) {
  ClockSample clamped = Interpolated(0.5);
  clamped.kind = kSampleClampedNewest;
  struct Case {
    const char* name;
    ClockSample sample;
    uint32_t ready, pairMiss, invalid, multiOwners, modelReady;
  } cases[] = {
      {"interpolated", Interpolated(0.5), 4, 0, 0, 1, 1},
      {"another generation", Interpolated(0.5, 1, kGeneration + 1), 0, 4, 0, 0, 0},
      {"ticks not captured", Interpolated(0.5, 2), 0, 4, 0, 0, 0},
      {"fraction outside the ticks", Interpolated(1.5), 0, 0, 4, 0, 0},
      {"clamped", clamped, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    HistoryScene s;  // a two-body prop, both moving, with a moving sub-mesh
    SingleBodyProp(s);
    Grunt(s);
    s.Prop({s.Body()}, s.Mesh());  // at rest
    const WorldApplyCounts counts = s.TwoTicksThenApply(c.sample);
    EXPECT_EQ(counts.ready, c.ready) << c.name;
    EXPECT_EQ(counts.pairMiss, c.pairMiss) << c.name;
    EXPECT_EQ(counts.invalid, c.invalid) << c.name;
    EXPECT_EQ(counts.applyFail, 0u) << c.name;
    EXPECT_EQ(counts.multiOwners, c.multiOwners) << c.name;
    EXPECT_EQ(counts.modelReady, c.modelReady) << c.name;
    EXPECT_EQ(s.frame->renderReady(), c.ready != 0) << c.name;
    s.frame->Restore();
  }
}

TEST(WorldRootInterpolatorTest, ConfiguringOrCapturingPutsAnOpenFramesCachesBack) {
  for (const bool capture : {false, true}) {
    HistoryScene s;
    auto interpolator = std::make_unique<WorldRootInterpolator>(*s.tracker);
    interpolator->Configure(kGetWorldMatrix, kGetEntityParent, kGetEnabled);
    s.Tick(1);
    s.Tick(2);
    uint8_t before[64];
    memcpy(before, s.cache, 64);
    EXPECT_EQ(interpolator->Apply(Interpolated(0.5)).modelCacheApplied, 1u);
    ASSERT_NE(memcmp(before, s.cache, 64), 0);
    if (capture) {
      // The tick must record the host's matrix, not the frame's.
      interpolator->Capture(3, kGeneration);
      const RigidTransformHistory& history = s.history().history;
      EXPECT_TRUE(Near(history.entry(history.count() - 1).snapshot.m, s.motion.At(2)));
    } else {
      interpolator->Configure(kGetWorldMatrix, 0, 0);
    }
    EXPECT_EQ(memcmp(before, s.cache, 64), 0) << capture;
  }
}

}  // namespace
}  // namespace driftglass
