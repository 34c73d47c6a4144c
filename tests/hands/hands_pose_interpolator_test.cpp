#include "hands/hands_pose_interpolator.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "host/hook_slots.h"

namespace driftglass {
namespace {

constexpr size_t kPage = 4096;
constexpr size_t kPaletteBytes = 3 * kPage;  // room for 129 bones
constexpr uintptr_t kBone = 64;
constexpr uint32_t kBones = 40;
constexpr uint32_t kCapacity = 48;
constexpr float kFrameTime = 0.0125f;

// Element e of bone b at animation state s: nearly rigid, elements distinct, translations moving
// a quarter unit per state (thirty states at once is a teleport).
float BoneElement(int s, uint32_t b, int e) {
  if (e >= 12) return e == 15 ? 1.0f : 0.0f;
  if (e == 3 || e == 7 || e == 11) return 0.5f * b + 0.1f * e + 0.25f * s;
  const float wobble = static_cast<float>((b * 5 + e * 3 + s * 2) % 11) * 0.002f;
  return (e == 0 || e == 5 || e == 10) ? 1.0f + wobble : wobble;
}

ClockSample Interpolated(uint64_t previous, double alpha, uint64_t generation = 1) {
  return {.kind = kSampleInterpolated, .generation = generation, .previousTick = previous,
          .currentTick = previous + 1, .alpha = alpha};
}

enum class Reentry { kNone, kApply, kRestore };

// The hands, two mesh entities and a palette array laid out as the engine's, and the engine's
// side of cMeshEntity::UpdateGraphicsForFrame, which computes a palette once per animation state.
struct HandsWorld {
  uint8_t* const objects = Alloc(kPage);
  uint8_t* const palette = Alloc(kPaletteBytes);  // own region: its protection can change
  uint8_t* mesh = objects + 0x100;
  int state = 0;
  int computedState = -1;
  bool poisoned = false;  // bone 7 gets a NaN, bone 9 an element of 20000
  bool writable = true;
  uint32_t calls = 0;
  float frameTime = 0;
  Reentry reentry = Reentry::kNone;
  uint32_t nestedResult = ~0u;
  HandsPoseInterpolator* interpolator = nullptr;
  uint8_t hostBytes[kPaletteBytes];  // the whole region as the engine last left it

  HandsWorld();
  ~HandsWorld() {
    VirtualFree(objects, 0, MEM_RELEASE);
    VirtualFree(palette, 0, MEM_RELEASE);
  }
  HandsWorld(const HandsWorld&) = delete;
  HandsWorld& operator=(const HandsWorld&) = delete;

  static uint8_t* Alloc(size_t size) {
    return static_cast<uint8_t*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  }
  template <typename T>
  static void Put(uint8_t* object, uintptr_t offset, T value) {
    memcpy(object + offset, &value, sizeof(value));
  }
  // Offsets into the palette region; a negative begin means a null pointer.
  void Layout(intptr_t begin, intptr_t end, intptr_t capacityEnd) {
    Put(mesh, 0x380, begin < 0 ? nullptr : palette + begin);
    Put(mesh, 0x384, palette + end);
    Put(mesh, 0x388, palette + capacityEnd);
    computedState = -1;
  }
  void SwitchMesh(uint8_t* next) {
    memcpy(next + 0x380, mesh + 0x380, 12);
    mesh = next;
    Put(objects, 0x44, mesh);
    computedState = -1;
  }
  uintptr_t Range(int i) const {
    uintptr_t value;
    memcpy(&value, mesh + 0x380 + 4 * i, 4);
    return value;
  }
  const float* Begin() const { return reinterpret_cast<const float*>(Range(0)); }
  uint32_t Bones() const { return static_cast<uint32_t>((Range(1) - Range(0)) / kBone); }
  void Protect(DWORD protection) {
    DWORD previous;
    ASSERT_TRUE(VirtualProtect(palette, kPaletteBytes, protection, &previous));
    writable = protection == PAGE_READWRITE;
  }
  void Compute() {
    if (computedState == state || !writable) return;
    const auto region = reinterpret_cast<uintptr_t>(palette);
    if (Range(0) >= region && Range(1) > Range(0) && Range(1) <= region + kPaletteBytes) {
      auto* bones = reinterpret_cast<float*>(Range(0));
      for (uint32_t b = 0; b < Bones(); ++b) {
        for (int e = 0; e < 16; ++e) bones[b * 16 + e] = BoneElement(state, b, e);
      }
      if (poisoned) {
        bones[7 * 16 + 5] = std::numeric_limits<float>::quiet_NaN();
        bones[9 * 16 + 0] = 20000.0f;
      }
    }
    memcpy(hostBytes, palette, kPaletteBytes);
    computedState = state;
  }
};

HandsWorld* g_world = nullptr;

HandsWorld::HandsWorld() {
  g_world = this;
  memset(palette, 0x5A, kPaletteBytes);
  memcpy(hostBytes, palette, kPaletteBytes);
  Put(objects, 0x44, mesh);
  mesh[0x24] = 1;
  objects[0x600 + 0x24] = 1;
  Layout(0, kBones * kBone, kCapacity * kBone);
}

void DRIFTGLASS_THISCALL UpdateGraphicsForFrame(void* mesh, float frameTime) {
  HandsWorld& w = *g_world;
  ++w.calls;
  w.frameTime = frameTime;
  EXPECT_EQ(mesh, w.mesh);
  switch (std::exchange(w.reentry, Reentry::kNone)) {
    case Reentry::kApply:
      w.nestedResult = w.interpolator->Apply(Interpolated(1, 0.5), 2, frameTime);
      break;
    case Reentry::kRestore: w.interpolator->Restore(); break;
    case Reentry::kNone: break;
  }
  w.Compute();
}

struct Rig {
  HandsWorld world;
  std::unique_ptr<HandsPoseInterpolator> pose = std::make_unique<HandsPoseInterpolator>();

  Rig() {
    world.interpolator = pose.get();
    pose->Configure(reinterpret_cast<uintptr_t>(&UpdateGraphicsForFrame));
  }
  // One completed tick with the hands' animation at `state`.
  void Tick(uint64_t tick, int state, uint64_t generation = 1) {
    world.state = state;
    EXPECT_EQ(pose->Stage(world.objects, tick), kHandsPoseStaged);
    pose->Capture(tick, generation);
  }
  uint32_t Frame(uint64_t tick, double alpha, uint64_t generation = 1) {
    return pose->Apply(Interpolated(tick - 1, alpha, generation), tick, kFrameTime);
  }
  // Ticks 1 and 2 at states 1 and 2, each drawn: the next frame of tick 2 can blend them.
  void TwoTicks() {
    Tick(1, 1);
    ASSERT_EQ(Frame(1, 0.5), kHandsPoseIdentityChanged);
    Tick(2, 2);
    ASSERT_EQ(Frame(2, 0.5), kHandsPoseApplied);
    ASSERT_TRUE(pose->Restore());
  }
  bool HostBytesBack() const {
    return memcmp(world.palette, world.hostBytes, kPaletteBytes) == 0;
  }
  // Largest distance between the drawn palette and the element-wise blend of two states
  // (NaN when anything drawn is NaN).
  float BlendError(int older, int newer, double alpha) const {
    float worst = 0.0f;
    const float* drawn = world.Begin();
    for (uint32_t b = 0; b < world.Bones(); ++b) {
      for (int e = 0; e < 16; ++e) {
        const float a = BoneElement(older, b, e), n = BoneElement(newer, b, e);
        const float want = e < 12 ? a + (n - a) * static_cast<float>(alpha) : a;
        const float error = std::fabs(drawn[b * 16 + e] - want);
        if (!(error <= worst)) worst = error;
      }
    }
    return worst;
  }
};

TEST(HandsPose, ResultNames) {
  const wchar_t* const stage[] = {L"staged", L"unavailable", L"inactive", L"unknown"};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_STREQ(HandsPoseStageResultName(i), stage[i]);
  const wchar_t* const apply[] = {L"not-target", L"captured", L"applied", L"already-applied",
                                  L"unavailable", L"identity-changed", L"clock-unavailable",
                                  L"pair-missing", L"invalid", L"unknown"};
  for (uint32_t i = 0; i < 10; ++i) EXPECT_STREQ(HandsPoseResultName(i), apply[i]);
}

TEST(HandsPose, DrawsTheBlendOfTwoTicksAndGivesTheHostItsBytesBack) {
  Rig r;
  r.TwoTicks();
  EXPECT_TRUE(r.HostBytesBack());
  const size_t used = kBones * kBone;
  for (const double alpha : {0.25, 1.0}) {
    r.world.frameTime = 0;
    ASSERT_EQ(r.Frame(2, alpha), kHandsPoseApplied);
    EXPECT_LT(r.BlendError(1, 2, alpha), 1e-5f) << alpha;
    EXPECT_EQ(memcmp(r.world.palette + used, r.world.hostBytes + used, kPaletteBytes - used), 0)
        << "nothing past the used bones is written";
    EXPECT_EQ(r.world.frameTime, kFrameTime);
    EXPECT_TRUE(r.pose->Restore());
    EXPECT_TRUE(r.HostBytesBack()) << alpha;
  }
  EXPECT_TRUE(r.pose->Restore()) << "nothing pending";

  ASSERT_EQ(r.Frame(2, 0.5), kHandsPoseApplied);
  r.pose->Configure(reinterpret_cast<uintptr_t>(&UpdateGraphicsForFrame));
  EXPECT_TRUE(r.HostBytesBack()) << "configuring puts the host's palette back";
  EXPECT_EQ(r.Frame(2, 0.5), kHandsPoseNotTarget) << "and forgets the hands";
}

TEST(HandsPose, ASecondApplyRestoresBeforeApplyingAgain) {
  Rig r;
  r.TwoTicks();
  ASSERT_EQ(r.Frame(2, 0.25), kHandsPoseApplied);
  ASSERT_EQ(r.Frame(2, 0.75), kHandsPoseApplied);
  EXPECT_LT(r.BlendError(1, 2, 0.75), 1e-5f);
  EXPECT_TRUE(r.pose->Restore());
  EXPECT_TRUE(r.HostBytesBack());
  EXPECT_FALSE(r.pose->TakeFailedRestore());
}

TEST(HandsPose, AReadOnlyPaletteIsNeverWrittenAndTheFailureIsReported) {
  Rig r;
  r.TwoTicks();
  ASSERT_EQ(r.Frame(2, 0.5), kHandsPoseApplied);
  r.world.Protect(PAGE_READONLY);
  EXPECT_FALSE(r.pose->Restore());
  EXPECT_TRUE(r.pose->Restore()) << "reported once";
  EXPECT_LT(r.BlendError(1, 2, 0.5), 1e-5f) << "the blend is still there: nothing was written";

  r.world.Protect(PAGE_READWRITE);
  r.Tick(3, 3);
  ASSERT_EQ(r.Frame(3, 0.5), kHandsPoseApplied);
  r.world.Protect(PAGE_READONLY);
  // The next frame's own opening restore fails: the frame is refused, the failure kept.
  EXPECT_EQ(r.Frame(3, 0.5), kHandsPoseUnavailable);
  EXPECT_TRUE(r.pose->TakeFailedRestore());
  EXPECT_FALSE(r.pose->TakeFailedRestore());
  EXPECT_TRUE(r.pose->Restore());
  r.world.Protect(PAGE_READWRITE);
}

TEST(HandsPose, OnlyTheMeshCommittedForTheCurrentTickIsDrawn) {
  struct Case {
    const char* name;
    uint8_t active;
    bool noMesh, resolved;
    uint64_t stageTick, captureTick, frameTick;
    uint32_t stage, apply;
  };
  const Case cases[] = {
      {"drawn", 1, false, true, 5, 5, 5, kHandsPoseStaged, kHandsPoseIdentityChanged},
      {"inactive", 0, false, true, 5, 5, 5, kHandsPoseInactive, kHandsPoseNotTarget},
      {"flag above 1", 2, false, true, 5, 5, 5, kHandsPoseStageUnavailable, kHandsPoseNotTarget},
      {"no mesh", 1, true, true, 5, 5, 5, kHandsPoseStageUnavailable, kHandsPoseNotTarget},
      {"staged for another tick", 1, false, true, 5, 6, 6, kHandsPoseStaged, kHandsPoseNotTarget},
      {"frame of an older tick", 1, false, true, 5, 5, 4, kHandsPoseStaged, kHandsPoseNotTarget},
      {"host function unresolved", 1, false, false, 5, 5, 5, kHandsPoseStaged,
       kHandsPoseNotTarget},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.Tick(4, 4);  // committed before, so every refusal must undo that
    if (!c.resolved) r.pose->Configure(0);
    r.world.mesh[0x24] = c.active;
    if (c.noMesh) HandsWorld::Put(r.world.objects, 0x44, nullptr);
    r.world.state = 5;
    EXPECT_EQ(r.pose->Stage(r.world.objects, c.stageTick), c.stage);
    r.pose->Capture(c.captureTick, 1);
    EXPECT_EQ(r.pose->Apply(Interpolated(c.frameTick - 1, 0.5), c.frameTick, kFrameTime), c.apply);
    if (c.apply == kHandsPoseNotTarget) {
      EXPECT_EQ(r.world.calls, 0u);
    }
    EXPECT_TRUE(r.pose->Restore());
    EXPECT_TRUE(r.HostBytesBack());
  }
}

TEST(HandsPose, BrokenPaletteArraysAreLeftAlone) {
  struct Case {
    const char* name;
    intptr_t begin, end, capacityEnd;  // byte offsets; a negative begin is null
    DWORD protection;
    bool meshGone;
    uint32_t result;
  };
  const intptr_t b = kBone;
  const Case cases[] = {
      {"128 bones", 0, 128 * b, 128 * b, PAGE_READWRITE, false, kHandsPoseIdentityChanged},
      {"129 bones", 0, 129 * b, 129 * b, PAGE_READWRITE, false, kHandsPoseUnavailable},
      {"end misaligned", 0, 40 * b + 4, 48 * b, PAGE_READWRITE, false, kHandsPoseUnavailable},
      {"capacity misaligned", 0, 40 * b, 48 * b + 4, PAGE_READWRITE, false, kHandsPoseUnavailable},
      {"capacity end before end", 0, 40 * b, 39 * b, PAGE_READWRITE, false, kHandsPoseUnavailable},
      {"no bones", 0, 0, 48 * b, PAGE_READWRITE, false, kHandsPoseUnavailable},
      {"end before begin", 10 * b, 0, 48 * b, PAGE_READWRITE, false, kHandsPoseUnavailable},
      {"null begin", -1, 40 * b, 48 * b, PAGE_READWRITE, false, kHandsPoseUnavailable},
      {"read-only", 0, 40 * b, 48 * b, PAGE_READONLY, false, kHandsPoseUnavailable},
      {"mesh gone", 0, 40 * b, 48 * b, PAGE_READWRITE, true, kHandsPoseUnavailable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.TwoTicks();
    r.Tick(3, 3);
    r.world.Layout(c.begin, c.end, c.capacityEnd);
    r.world.Compute();  // the engine's own palette for the frame
    r.world.Protect(c.protection);
    DWORD previous;
    if (c.meshGone) VirtualProtect(r.world.objects, kPage, PAGE_NOACCESS, &previous);
    const uint32_t calls = r.world.calls;
    EXPECT_EQ(r.Frame(3, 0.5), c.result);
    if (c.meshGone) {
      EXPECT_EQ(r.world.calls, calls) << "no host call on a mesh that cannot be read";
      VirtualProtect(r.world.objects, kPage, PAGE_READWRITE, &previous);
    }
    EXPECT_TRUE(r.HostBytesBack());
    EXPECT_TRUE(r.pose->Restore());
    r.world.Protect(PAGE_READWRITE);
  }
}

TEST(HandsPose, AnyChangeOfIdentityRestartsTheHistoryUntilTwoNewTicks) {
  enum Change { kBoneCount, kPaletteMoved, kOtherMesh, kJump, kClockGeneration };
  const std::pair<const char*, Change> cases[] = {
      {"bone count 40 to 41", kBoneCount}, {"palette moved", kPaletteMoved},
      {"other mesh", kOtherMesh},          {"teleport", kJump},
      {"new clock generation", kClockGeneration},
  };
  for (const auto& [name, change] : cases) {
    SCOPED_TRACE(name);
    Rig r;
    r.TwoTicks();
    int state = 3;
    uint64_t generation = 1;
    switch (change) {
      case kBoneCount: r.world.Layout(0, 41 * kBone, kCapacity * kBone); break;
      case kPaletteMoved: r.world.Layout(256, 256 + kBones * kBone, 256 + kCapacity * kBone); break;
      case kOtherMesh: r.world.SwitchMesh(r.world.objects + 0x600); break;
      case kJump: state = 33; break;
      case kClockGeneration: generation = 2; break;
    }
    r.Tick(3, state, generation);
    for (const double alpha : {0.25, 0.75}) {  // every frame of the tick
      EXPECT_EQ(r.Frame(3, alpha, generation), kHandsPoseIdentityChanged) << alpha;
      EXPECT_TRUE(r.pose->Restore());
      EXPECT_TRUE(r.HostBytesBack());
    }
    r.Tick(4, state + 1, generation);
    ASSERT_EQ(r.Frame(4, 0.5, generation), kHandsPoseApplied);
    EXPECT_LT(r.BlendError(state, state + 1, 0.5), 1e-5f);
    EXPECT_TRUE(r.pose->Restore());
    EXPECT_TRUE(r.HostBytesBack());
  }
}

TEST(HandsPose, FramesTheClockCannotPairLeaveThePaletteAlone) {
  ClockSample sameTick = Interpolated(1, 0.5);
  sameTick.previousTick = 2;
  const std::pair<ClockSample, uint32_t> cases[] = {
      {Interpolated(1, 0.5), kHandsPoseApplied},
      {ClockSample{}, kHandsPoseClockUnavailable},
      {sameTick, kHandsPoseClockUnavailable},
      {Interpolated(1, 0.5, 7), kHandsPoseClockUnavailable},
      {Interpolated(0, 0.5), kHandsPosePairMissing},
  };
  for (const auto& [sample, result] : cases) {
    Rig r;
    r.TwoTicks();
    EXPECT_EQ(r.pose->Apply(sample, 2, kFrameTime), result) << HandsPoseResultName(result);
    if (result != kHandsPoseApplied) {
      EXPECT_TRUE(r.HostBytesBack());
    }
    EXPECT_TRUE(r.pose->Restore());
  }
}

TEST(HandsPose, AnInvalidBoneRefusesTheTickAndIsReportedOnce) {
  Rig r;
  r.TwoTicks();
  r.world.poisoned = true;
  r.Tick(3, 3);
  EXPECT_EQ(r.Frame(3, 0.25), kHandsPoseInvalid);
  EXPECT_EQ(r.Frame(3, 0.75), kHandsPoseInvalid) << "every frame of the tick";
  EXPECT_TRUE(r.HostBytesBack());
  HandsPoseDiagnostic diagnostic;
  ASSERT_TRUE(r.pose->TakeDiagnostic(diagnostic));
  EXPECT_EQ(diagnostic.boneIndex, 7u) << "the first invalid bone";
  EXPECT_EQ(memcmp(diagnostic.matrix, r.world.hostBytes + 7 * kBone, kBone), 0);
  EXPECT_FALSE(r.pose->TakeDiagnostic(diagnostic));

  r.world.poisoned = false;
  r.Tick(4, 4);
  EXPECT_EQ(r.Frame(4, 0.5), kHandsPoseIdentityChanged) << "the history starts over";
  EXPECT_FALSE(r.pose->TakeDiagnostic(diagnostic));
}

TEST(HandsPose, AHostCallThatComesBackDoesNotApplyTwice) {
  const std::pair<Reentry, uint32_t> cases[] = {
      {Reentry::kApply, kHandsPoseAlreadyApplied},
      {Reentry::kRestore, kHandsPoseNotTarget},
  };
  for (const auto& [reentry, result] : cases) {
    Rig r;
    r.TwoTicks();
    r.world.reentry = reentry;
    EXPECT_EQ(r.Frame(2, 0.5), result);
    if (reentry == Reentry::kApply) {
      EXPECT_EQ(r.world.nestedResult, kHandsPoseApplied);
    }
    EXPECT_TRUE(r.pose->Restore());
    EXPECT_TRUE(r.HostBytesBack()) << HandsPoseResultName(result);
  }
}

}  // namespace
}  // namespace driftglass
