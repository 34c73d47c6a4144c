#include "poses/enemy_pose_interpolator.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "host/hook_slots.h"
#include "support/fake_entities.h"

namespace driftglass {
namespace {

using test::Get;
using test::Put;

constexpr size_t kPage = 4096;
constexpr size_t kPaletteBytes = 3 * kPage;  // room for 129 bones
constexpr intptr_t kBone = 64;
constexpr intptr_t kBones = 40;
constexpr int kTargets = 10;
constexpr uint64_t kGeneration = 3;
constexpr float kFrameTime = 0.0125f;

// Offsets inside one target's object block: the enemy, its mesh, two sub-meshes and their array.
constexpr size_t kMeshAt = 0x900;
constexpr size_t kSubArrayAt = 0xD00;
constexpr size_t kSubMeshAt[2] = {0x1000, 0x1400};

// Element e of bone b at animation state s: near-rigid, distinct, translations a quarter unit
// per state.
float BoneElement(int s, intptr_t b, int e) {
  if (e >= 12) return e == 15 ? 1.0f : 0.0f;
  if (e == 3 || e == 7 || e == 11) return 0.5f * b + 0.1f * e + 0.25f * s;
  const float wobble = static_cast<float>((b * 5 + e * 3 + s * 2) % 11) * 0.002f;
  return (e == 0 || e == 5 || e == 10) ? 1.0f + wobble : wobble;
}

ClockSample Interpolated(uint64_t previous, double alpha) {
  return {.kind = kSampleInterpolated, .generation = kGeneration, .previousTick = previous,
          .currentTick = previous + 1, .alpha = alpha};
}

uint8_t* Alloc(size_t size) {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

// An enemy (or prop), its mesh and palette as the engine lays them out; the engine's side of
// cMeshEntity::UpdateGraphicsForFrame computes the palette once per animation state.
struct Target {
  uint8_t* const block = Alloc(2 * kPage);
  uint8_t* const palette = Alloc(kPaletteBytes);  // own region: its protection can change
  uint8_t* enemy = block;
  uint8_t* mesh = block + kMeshAt;
  int state = 0;
  int computedState = -1;
  bool writable = true;
  bool poisoned = false;
  uint8_t hostBytes[kPaletteBytes];  // the region as the engine last left it

  Target() {
    memset(palette, 0x5A, kPaletteBytes);
    memcpy(hostBytes, palette, kPaletteBytes);
    Put(enemy, 0x40, uint32_t{0x1234});
    Put(enemy, 0x54C, mesh);
    Put(enemy, 0x82C, uint32_t{0});
    mesh[0x24] = 1;
    Put(mesh, 0x30C, block + kSubArrayAt);
    Put(mesh, 0x310, block + kSubArrayAt + 2 * sizeof(void*));
    for (int i = 0; i < 2; ++i) Put(block, kSubArrayAt + 4 * i, block + kSubMeshAt[i]);
    Layout(0, kBones * kBone, 48 * kBone);
  }
  ~Target() {
    VirtualFree(block, 0, MEM_RELEASE);
    VirtualFree(palette, 0, MEM_RELEASE);
  }
  // Offsets into the palette region; a negative begin is a null pointer.
  void Layout(intptr_t begin, intptr_t end, intptr_t capacityEnd) {
    Put(mesh, 0x380, begin < 0 ? nullptr : palette + begin);
    Put(mesh, 0x384, palette + end);
    Put(mesh, 0x388, palette + capacityEnd);
    computedState = -1;
  }
  void SetRenderCounters(int32_t first, int32_t second) {
    Put(block, kSubMeshAt[0] + 0x344, first);
    Put(block, kSubMeshAt[1] + 0x344, second);
  }
  uintptr_t Range(int i) const { return Get<uintptr_t>(mesh, 0x380 + 4 * i); }
  const float* Bones() const { return reinterpret_cast<const float*>(Range(0)); }
  intptr_t BoneCount() const { return static_cast<intptr_t>(Range(1) - Range(0)) / kBone; }
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
      for (intptr_t b = 0; b < BoneCount(); ++b) {
        for (int e = 0; e < 16; ++e) bones[b * 16 + e] = BoneElement(state, b, e);
      }
      if (poisoned) bones[7 * 16 + 5] = std::numeric_limits<float>::quiet_NaN();
    }
    memcpy(hostBytes, palette, kPaletteBytes);
    computedState = state;
  }
  bool HostBytesBack() const { return memcmp(palette, hostBytes, kPaletteBytes) == 0; }
  // Elements 0 to 11 of every bone at alpha between two states; bottom rows exact.
  void ExpectBlend(int older, int newer, double alpha) const {
    for (intptr_t b = 0; b < BoneCount(); ++b) {
      for (int e = 0; e < 16; ++e) {
        const float a = BoneElement(older, b, e), n = BoneElement(newer, b, e);
        ASSERT_NEAR(Bones()[b * 16 + e], a + (n - a) * static_cast<float>(alpha), 1e-5)
            << "bone " << b << " element " << e;
      }
    }
  }
};

Target* g_targets = nullptr;
uint32_t g_calls = 0;
float g_frameTime = 0;

void DRIFTGLASS_THISCALL UpdateGraphicsForFrame(void* mesh, float frameTime) {
  ++g_calls;
  g_frameTime = frameTime;
  for (int i = 0; i < kTargets; ++i) {
    if (g_targets[i].mesh == mesh) return g_targets[i].Compute();
  }
  ADD_FAILURE() << "called on an unknown mesh";
}

class EnemyPoseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    targets_ = std::make_unique<Target[]>(kTargets);
    g_targets = targets_.get();
    g_calls = 0;
    ip_->Configure(reinterpret_cast<uintptr_t>(&UpdateGraphicsForFrame));
  }
  void TearDown() override { g_targets = nullptr; }

  Target& T(int i) { return targets_[i]; }
  uint32_t Enemy(int i, uint64_t tick) { return ip_->StageEnemy(T(i).enemy, tick); }
  uint32_t Ragdoll(int i, uint64_t tick, uint32_t bodies = 5, bool asleep = false) {
    return ip_->StageRagdoll(T(i).block + 0x800, T(i).mesh, 0x77, bodies, asleep, tick);
  }
  // Ticks first..last with target 0 staged as an enemy, its state equal to the tick, and (as in
  // the game) a rendered frame after each tick, which samples the tick's palette.
  void Ticks(uint64_t first, uint64_t last, bool frames = true) {
    for (uint64_t t = first; t <= last; ++t) {
      T(0).state = static_cast<int>(t);
      EXPECT_EQ(Enemy(0, t), kEnemyPoseStagedEnemy);
      ip_->Capture(t, kGeneration);
      if (frames) {
        Frame(t);
        ip_->Restore();
      }
    }
  }
  EnemyPoseCounts Frame(uint64_t tick, double alpha = 0.25) {
    return ip_->Apply(Interpolated(tick - 1, alpha), tick, kFrameTime);
  }

  std::unique_ptr<Target[]> targets_;
  std::unique_ptr<EnemyPoseInterpolator> ip_ = std::make_unique<EnemyPoseInterpolator>();
};

TEST(EnemyPoseNames, EveryResultAndUnknown) {
  const wchar_t* names[] = {L"staged-enemy", L"staged-ragdoll", L"ineligible", L"invalid",
                            L"capacity-exhausted", L"unknown"};
  for (uint32_t r = 0; r < 6; ++r) EXPECT_STREQ(EnemyPoseStageResultName(r), names[r]);
}

// Eight slots; a change that makes an enemy ineligible or unreadable frees its slot for a ninth.
TEST_F(EnemyPoseTest, StagingFillsEightSlotsAndReleasesOnRefusal) {
  struct Case {
    const char* name;
    size_t offset;
    uint32_t value;
    uint32_t expected;
  };
  const Case cases[] = {
      {"non-Grunt", 0x82C, 2, kEnemyPoseIneligible},
      {"null mesh", 0x54C, 0, kEnemyPoseInvalid},
      {"mesh inactive", kMeshAt + 0x24, 0, kEnemyPoseIneligible},
      {"active flag 2", kMeshAt + 0x24, 2, kEnemyPoseInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (int i = 0; i < 8; ++i) ASSERT_EQ(Enemy(i, 1), kEnemyPoseStagedEnemy);
    EXPECT_EQ(Enemy(8, 1), kEnemyPoseCapacityExhausted);
    EXPECT_EQ(Enemy(3, 1), kEnemyPoseStagedEnemy);  // its own slot again, not a second one
    if (c.offset == kMeshAt + 0x24) {
      T(3).block[c.offset] = static_cast<uint8_t>(c.value);
    } else {
      Put(T(3).enemy, c.offset, c.value);
    }
    EXPECT_EQ(Enemy(3, 1), c.expected);
    EXPECT_EQ(Enemy(8, 1), kEnemyPoseStagedEnemy);
  }
}

TEST_F(EnemyPoseTest, UnreadableEnemyIsInvalidAndKeepsSlots) {
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Enemy(i, 1), kEnemyPoseStagedEnemy);
  EXPECT_EQ(ip_->StageEnemy(nullptr, 1), kEnemyPoseInvalid);
  DWORD previous;
  ASSERT_TRUE(VirtualProtect(T(9).block, kPage, PAGE_NOACCESS, &previous));
  EXPECT_EQ(Enemy(9, 1), kEnemyPoseInvalid);
  EXPECT_EQ(Enemy(8, 1), kEnemyPoseCapacityExhausted);
}

TEST_F(EnemyPoseTest, EnemyNotStagedForATickIsReleasedAtCapture) {
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Enemy(i, 1), kEnemyPoseStagedEnemy);
  ip_->Capture(1, kGeneration);
  for (int i = 1; i < 8; ++i) ASSERT_EQ(Enemy(i, 2), kEnemyPoseStagedEnemy);
  ip_->Capture(2, kGeneration);
  EXPECT_EQ(Enemy(8, 3), kEnemyPoseStagedEnemy);
  EXPECT_EQ(Enemy(9, 3), kEnemyPoseCapacityExhausted);
}

// The full cycle: sampled once per tick, blended on the frame's sample, bytes back after.
TEST_F(EnemyPoseTest, BlendsTwoTicksAndRestoresByteForByte) {
  Ticks(1, 1, false);
  EnemyPoseCounts c = Frame(1);
  EXPECT_EQ(c.identity, 1u);
  EXPECT_EQ(c.genReset, 1u);
  EXPECT_EQ(c.pairMiss, 1u);
  EXPECT_EQ(c.applied, 0u);
  EXPECT_TRUE(T(0).HostBytesBack());
  ip_->Restore();
  Ticks(2, 2, false);
  for (double alpha : {0.25, 0.75}) {
    c = Frame(2, alpha);
    EXPECT_EQ(g_calls, 2u);  // once per tick, not per frame
    EXPECT_EQ(g_frameTime, kFrameTime);
    EXPECT_EQ(c.targets, 1u);
    EXPECT_EQ(c.applied, 1u);
    EXPECT_EQ(c.captured, alpha == 0.25 ? 1u : 0u);
    EXPECT_EQ(c.genReset + c.pairMiss + c.identity, 0u);
    T(0).ExpectBlend(1, 2, alpha);
    EXPECT_EQ(ip_->Restore().restoreFail, 0u);
    EXPECT_TRUE(T(0).HostBytesBack());
  }
  // A frame that is not on the last captured tick, or an unresolved host call, touches nothing.
  EXPECT_EQ(Frame(3).targets, 0u);
  ip_->Configure(0);
  Ticks(3, 4, false);
  EXPECT_EQ(Frame(4).targets, 0u);
  EXPECT_TRUE(T(0).HostBytesBack());
}

TEST_F(EnemyPoseTest, ApplyAndCaptureRestoreAPendingBlendFirst) {
  Ticks(1, 2);
  Frame(2);
  Frame(2, 0.5);  // no Restore in between
  T(0).ExpectBlend(1, 2, 0.5);
  EXPECT_EQ(ip_->Restore().restoreFail, 0u);
  EXPECT_TRUE(T(0).HostBytesBack());
  Frame(2);
  Ticks(3, 3, false);  // Capture without Restore
  EXPECT_TRUE(T(0).HostBytesBack());
}

// The host may move a palette between two frames of one tick: nothing is written where it was.
TEST_F(EnemyPoseTest, APaletteMovedWithinATickIsNotWritten) {
  Ticks(1, 2);
  EXPECT_EQ(Frame(2).applied, 1u);
  ip_->Restore();
  T(0).Layout(4 * kBone, (4 + kBones) * kBone, 48 * kBone);
  const EnemyPoseCounts c = Frame(2);
  EXPECT_EQ(c.applied, 0u);
  EXPECT_EQ(c.unavailable, 1u);
  EXPECT_TRUE(T(0).HostBytesBack());
}

TEST_F(EnemyPoseTest, ReadOnlyPaletteAtRestoreFailsAndClearsHistory) {
  Ticks(1, 2);
  ASSERT_EQ(Frame(2).applied, 1u);
  T(0).Protect(PAGE_READONLY);
  EXPECT_EQ(ip_->Restore().restoreFail, 1u);
  EXPECT_EQ(ip_->Restore().restoreFail, 0u);  // reported once
  T(0).Protect(PAGE_READWRITE);
  const EnemyPoseCounts c = Frame(2);
  EXPECT_EQ(c.applied, 0u);
  EXPECT_EQ(c.pairMiss, 1u);
}

// Each change of what the slot follows starts its history over.
TEST_F(EnemyPoseTest, IdentityChangesClearTheHistory) {
  struct Case {
    const char* name;
    void (*change)(Target& t, Target& other);
  };
  const Case cases[] = {
      {"identity word", [](Target& t, Target&) { Put(t.enemy, 0x40, uint32_t{0x9999}); }},
      {"mesh", [](Target& t, Target& other) { Put(t.enemy, 0x54C, other.mesh); }},
      {"palette moved", [](Target& t, Target&) { t.Layout(kBone, 41 * kBone, 48 * kBone); }},
      {"bone count", [](Target& t, Target&) { t.Layout(0, 41 * kBone, 48 * kBone); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Ticks(1, 2);
    ASSERT_EQ(Frame(2).applied, 1u);
    ip_->Restore();
    c.change(T(0), T(5));
    Ticks(3, 3, false);
    const EnemyPoseCounts counts = Frame(3);
    EXPECT_EQ(counts.applied, 0u);
    EXPECT_EQ(counts.pairMiss, 1u);
    EXPECT_EQ(counts.identity, 1u);
    ip_->Restore();
    Ticks(4, 4, false);
    EXPECT_EQ(Frame(4).applied, 1u);
    ip_->Restore();
  }
}

// Palettes the host could not vouch for are never read or written.
TEST_F(EnemyPoseTest, UnsoundPalettesAreUnavailable) {
  struct Case {
    const char* name;
    intptr_t begin, end, capacity;
    DWORD protection;
    uint32_t unavailable, invalid, applied;
  };
  const Case cases[] = {
      {"128 bones", 0, 128 * kBone, 128 * kBone, PAGE_READWRITE, 0, 0, 1},
      {"129 bones", 0, 129 * kBone, 129 * kBone, PAGE_READWRITE, 1, 0, 0},
      {"no bones", 0, 0, kBone, PAGE_READWRITE, 1, 0, 0},
      {"null begin", -1, kBones * kBone, 48 * kBone, PAGE_READWRITE, 1, 0, 0},
      {"end misaligned", 0, kBones * kBone + 4, 48 * kBone, PAGE_READWRITE, 1, 0, 0},
      {"capacity misaligned", 0, kBones * kBone, 48 * kBone + 4, PAGE_READWRITE, 1, 0, 0},
      {"capacity before end", 0, kBones * kBone, 39 * kBone, PAGE_READWRITE, 1, 0, 0},
      {"read-only", 0, kBones * kBone, 48 * kBone, PAGE_READONLY, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    T(0).Layout(c.begin, c.end, c.capacity);
    Ticks(1, 2);
    T(0).Protect(c.protection);
    const EnemyPoseCounts counts = Frame(2);
    EXPECT_EQ(counts.targets, 1u);
    EXPECT_EQ(counts.unavailable, c.unavailable);
    EXPECT_EQ(counts.applied, c.applied);
    ip_->Restore();
    T(0).Protect(PAGE_READWRITE);
    EXPECT_TRUE(T(0).HostBytesBack());
  }
}

TEST_F(EnemyPoseTest, InvalidBonesAndUnusableSamplesAreCounted) {
  Ticks(1, 1);
  T(0).poisoned = true;
  Ticks(2, 2, false);
  EnemyPoseCounts c = Frame(2);
  EXPECT_EQ(c.invalid, 1u);
  EXPECT_EQ(c.captured, 0u);
  EXPECT_TRUE(T(0).HostBytesBack());
  ip_->Restore();
  T(0).poisoned = false;
  Ticks(3, 4);
  ClockSample clamped = Interpolated(3, 0.5);
  clamped.kind = kSampleClampedNewest;
  c = ip_->Apply(clamped, 4, kFrameTime);
  EXPECT_EQ(c.clockWait, 1u);
  EXPECT_EQ(c.applied, 0u);
  EXPECT_TRUE(T(0).HostBytesBack());
}

// The largest render counter per frame; a ragdoll is skipped from its third unchanged frame on.
TEST_F(EnemyPoseTest, RagdollVisibilityCountdown) {
  struct Case {
    const char* name;
    std::vector<int32_t> counters;  // one per frame; the first sub-mesh's, the second stays 0
    const char* skipped;            // per frame: 's' skipped, '.' drawn
  };
  const Case cases[] = {
      {"stops rendering", {5, 5, 5, 5, 5}, "...ss"},
      {"renders again", {5, 5, 5, 5, 6, 6}, "...s.."},
      {"changed counter resets", {5, 5, 6, 6, 6, 6}, ".....s"},
      {"negative first value", {-1, -1, 3}, "ss."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (uint64_t t = 1; t <= 2; ++t) {
      T(0).state = static_cast<int>(t);
      ASSERT_EQ(Ragdoll(0, t), kEnemyPoseStagedRagdoll);
      ip_->Capture(t, kGeneration);
    }
    for (size_t f = 0; f < c.counters.size(); ++f) {
      T(0).SetRenderCounters(c.counters[f], c.counters[f] < 0 ? -5 : 0);
      const EnemyPoseCounts counts = Frame(2);
      ip_->Restore();
      const bool skipped = c.skipped[f] == 's';
      EXPECT_EQ(counts.visibilitySkip, skipped ? 1u : 0u) << "frame " << f;
      EXPECT_EQ(counts.targets, skipped ? 0u : 1u) << "frame " << f;
    }
  }
}

TEST_F(EnemyPoseTest, UnreadableSubMeshesLeaveVisibilityUnknown) {
  const size_t arrayEnds[] = {kSubArrayAt, kSubArrayAt + 129 * 4, kSubArrayAt + 6};
  for (size_t end : arrayEnds) {
    SetUp();
    Put(T(0).mesh, 0x310, T(0).block + end);
    Ragdoll(0, 1);
    ip_->Capture(1, kGeneration);
    for (int f = 0; f < 4; ++f) {
      const EnemyPoseCounts c = Frame(1);
      ip_->Restore();
      EXPECT_EQ(c.visibilityUnknown, 1u);
      EXPECT_EQ(c.targets, 1u);
    }
  }
  Put(T(0).mesh, 0x310, T(0).block + kSubArrayAt + 8);
  Put(T(0).block, kSubArrayAt + 4, nullptr);
  EXPECT_EQ(Frame(1).visibilityUnknown, 1u);
}

// With seven enemies staged, a spare enemy fits only when the ragdoll's slot was released.
TEST_F(EnemyPoseTest, RagdollEligibility) {
  struct Case {
    const char* name;
    uint32_t bodies;
    uint8_t active;
    intptr_t paletteEnd;
    uint32_t expected;
  };
  const Case cases[] = {
      {"two bodies", 2, 1, kBones * kBone, kEnemyPoseStagedRagdoll},
      {"32 bodies", 32, 1, kBones * kBone, kEnemyPoseStagedRagdoll},
      {"one body", 1, 1, kBones * kBone, kEnemyPoseIneligible},
      {"33 bodies", 33, 1, kBones * kBone, kEnemyPoseIneligible},
      {"inactive mesh", 5, 0, kBones * kBone, kEnemyPoseIneligible},
      {"active flag 2", 5, 2, kBones * kBone, kEnemyPoseInvalid},
      {"129 bones", 5, 1, 129 * kBone, kEnemyPoseIneligible},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (int i = 1; i < 8; ++i) ASSERT_EQ(Enemy(i, 1), kEnemyPoseStagedEnemy);
    ASSERT_EQ(Ragdoll(0, 1), kEnemyPoseStagedRagdoll);
    T(0).mesh[0x24] = c.active;
    T(0).Layout(0, c.paletteEnd, c.paletteEnd);
    // A new identity word: the palette must be sound again before the slot follows it.
    const uint32_t result = ip_->StageRagdoll(T(0).block + 0x800, T(0).mesh, 0x78, c.bodies,
                                              false, 1);
    EXPECT_EQ(result, c.expected);
    const bool released = result != kEnemyPoseStagedRagdoll;
    EXPECT_EQ(Enemy(8, 1), released ? kEnemyPoseStagedEnemy : kEnemyPoseCapacityExhausted);
  }
  SetUp();
  EXPECT_EQ(ip_->StageRagdoll(nullptr, T(0).mesh, 1, 5, false, 1), kEnemyPoseInvalid);
  EXPECT_EQ(ip_->StageRagdoll(T(0).block, nullptr, 1, 5, false, 1), kEnemyPoseInvalid);
}

TEST_F(EnemyPoseTest, RagdollFallingAsleepIsStagedOnceMoreThenReleased) {
  for (int i = 1; i < 8; ++i) ASSERT_EQ(Enemy(i, 1), kEnemyPoseStagedEnemy);
  EXPECT_EQ(Ragdoll(9, 1, 5, true), kEnemyPoseIneligible);  // asleep without a slot
  EXPECT_EQ(Ragdoll(0, 1), kEnemyPoseStagedRagdoll);
  EXPECT_EQ(Ragdoll(0, 2, 5, true), kEnemyPoseStagedRagdoll);
  EXPECT_EQ(Enemy(8, 2), kEnemyPoseCapacityExhausted);
  EXPECT_EQ(Ragdoll(0, 3, 5, true), kEnemyPoseIneligible);
  EXPECT_EQ(Enemy(8, 3), kEnemyPoseStagedEnemy);
}

// Once a slot follows a mesh, its palette is judged per frame in Apply, not at staging.
TEST_F(EnemyPoseTest, StagedRagdollKeepsItsSlotWhenThePaletteGoesBad) {
  ASSERT_EQ(Ragdoll(0, 1), kEnemyPoseStagedRagdoll);
  T(0).Layout(0, 129 * kBone, 129 * kBone);
  EXPECT_EQ(Ragdoll(0, 2), kEnemyPoseStagedRagdoll);
  ip_->Capture(2, kGeneration);
  EXPECT_EQ(Frame(2).unavailable, 1u);
}

}  // namespace
}  // namespace driftglass
