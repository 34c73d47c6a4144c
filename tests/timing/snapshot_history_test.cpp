#include "timing/snapshot_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>

namespace driftglass {
namespace {

// Owners keep histories in fixed arrays and copy them around as plain values.
static_assert(std::is_trivially_copyable_v<BonePaletteHistory>);
static_assert(sizeof(BonePaletteHistory) < 17 * 1024);

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

ClockSample Interpolated(uint64_t generation, uint64_t previousTick, uint64_t currentTick,
                         double alpha) {
  ClockSample sample;
  sample.kind = kSampleInterpolated;
  sample.generation = generation;
  sample.previousTick = previousTick;
  sample.currentTick = currentTick;
  sample.alpha = alpha;
  return sample;
}

CameraPose Pose(float x, float yaw = 0.0f) { return CameraPose{x, 1.0f, 2.0f, 0.1f, yaw, 0.0f}; }

template <typename T>
bool IsAllZero(const T& value) {
  unsigned char zero[sizeof(T)] = {};
  return std::memcmp(&value, zero, sizeof(T)) == 0;
}

// Ticks 10 and 11 of generation 3, positions 0 and 4.
CameraPoseHistory TwoTicks() {
  CameraPoseHistory history;
  EXPECT_EQ(history.AppendSnapshot(10, 3, Pose(0.0f)), kAppendGeneration);
  EXPECT_EQ(history.AppendSnapshot(11, 3, Pose(4.0f)), kAppendAppended);
  return history;
}

TEST(SnapshotHistory, TwoConsecutiveTicksBlendAtTheSamplesAlpha) {
  const CameraPoseHistory history = TwoTicks();
  EXPECT_EQ(history.count(), 2u);
  CameraPose blended;
  ASSERT_EQ(history.PairSnapshots(Interpolated(3, 10, 11, 0.25), blended), kPairApplied);
  EXPECT_FLOAT_EQ(blended.x, 1.0f);
  EXPECT_FLOAT_EQ(blended.y, 1.0f);
  EXPECT_NEAR(blended.pitch, 0.1f, 1e-6f);
}

TEST(SnapshotHistory, NewGenerationIsRefusedThenRebinds) {
  CameraPoseHistory history = TwoTicks();
  CameraPose blended = Pose(9.0f);
  EXPECT_EQ(history.PairSnapshots(Interpolated(4, 10, 11, 0.25), blended),
            kPairGenerationMismatch);
  EXPECT_TRUE(IsAllZero(blended));
  EXPECT_EQ(history.AppendSnapshot(12, 4, Pose(8.0f)), kAppendGeneration);
  EXPECT_EQ(history.count(), 1u);
  EXPECT_EQ(history.generation(), 4u);
  EXPECT_EQ(history.entry(0).tick, 12u);
}

TEST(SnapshotHistory, RepeatedTickIsUnchangedOnlyWithinTolerance) {
  CameraPoseHistory history = TwoTicks();
  EXPECT_EQ(history.AppendSnapshot(11, 3, Pose(4.0f)), kAppendUnchanged);
  EXPECT_EQ(history.AppendSnapshot(11, 3, Pose(4.0f + 0.5e-5f)), kAppendUnchanged);
  EXPECT_EQ(history.count(), 2u);
  // The comparison is against the stored snapshot, not the one last offered.
  EXPECT_EQ(history.entry(1).snapshot.x, 4.0f);

  EXPECT_EQ(history.AppendSnapshot(11, 3, Pose(4.0f, 2e-5f)), kAppendSameTickMutation);
  EXPECT_EQ(history.count(), 1u);
  EXPECT_EQ(history.entry(0).snapshot.yaw, 2e-5f);
  EXPECT_TRUE(history.bound());
}

TEST(SnapshotHistory, GapsBackwardTicksAndJumpsRestartFromTheNewSnapshot) {
  CameraPoseHistory history = TwoTicks();
  EXPECT_EQ(history.AppendSnapshot(13, 3, Pose(4.0f)), kAppendDiscontinuity);
  EXPECT_EQ(history.count(), 1u);
  EXPECT_EQ(history.entry(0).tick, 13u);

  EXPECT_EQ(history.AppendSnapshot(12, 3, Pose(4.0f)), kAppendNonMonotonic);
  EXPECT_EQ(history.count(), 1u);
  EXPECT_EQ(history.entry(0).tick, 12u);

  EXPECT_EQ(history.AppendSnapshot(13, 3, Pose(8.9f)), kAppendAppended);
  EXPECT_EQ(history.AppendSnapshot(14, 3, Pose(14.0f)), kAppendDiscontinuity);  // 5.1 units
  EXPECT_EQ(history.AppendSnapshot(15, 3, Pose(14.0f, 2.2f)), kAppendDiscontinuity);
  EXPECT_EQ(history.AppendSnapshot(16, 3, Pose(14.0f, 2.0f)), kAppendAppended);
  EXPECT_EQ(history.count(), 2u);
  EXPECT_EQ(history.generation(), 3u);
}

TEST(SnapshotHistory, InvalidSnapshotEmptiesAndUnbinds) {
  CameraPoseHistory history = TwoTicks();
  EXPECT_EQ(history.AppendSnapshot(12, 3, Pose(kNaN)), kAppendInvalid);
  EXPECT_EQ(history.count(), 0u);
  EXPECT_FALSE(history.bound());
  CameraPose blended;
  EXPECT_EQ(history.PairSnapshots(Interpolated(3, 10, 11, 0.5), blended), kPairGenerationMismatch);
  // Same generation as before, yet the history starts over.
  EXPECT_EQ(history.AppendSnapshot(13, 3, Pose(1.0f)), kAppendGeneration);
  EXPECT_EQ(history.count(), 1u);
}

TEST(SnapshotHistory, ThirdTickReplacesTheOldest) {
  CameraPoseHistory history = TwoTicks();
  EXPECT_EQ(history.AppendSnapshot(12, 3, Pose(6.0f)), kAppendAppended);
  EXPECT_EQ(history.AppendSnapshot(13, 3, Pose(7.0f)), kAppendAppended);
  EXPECT_EQ(history.count(), 2u);
  EXPECT_EQ(history.entry(0).tick, 12u);
  EXPECT_EQ(history.entry(1).tick, 13u);
  CameraPose blended;
  ASSERT_EQ(history.PairSnapshots(Interpolated(3, 12, 13, 0.5), blended), kPairApplied);
  EXPECT_FLOAT_EQ(blended.x, 6.5f);
  EXPECT_EQ(history.PairSnapshots(Interpolated(3, 11, 12, 0.5), blended), kPairSnapshotsMissing);
  EXPECT_TRUE(IsAllZero(blended));
}

TEST(SnapshotHistory, PairRefusesSamplesWithoutTwoDistinctTicks) {
  const CameraPoseHistory history = TwoTicks();
  CameraPose blended = Pose(9.0f);
  for (const uint32_t kind : {kSampleUnavailable, kSampleClampedOldest, kSampleClampedNewest,
                              kSampleReset}) {
    ClockSample sample = Interpolated(3, 10, 11, 0.5);
    sample.kind = kind;
    EXPECT_EQ(history.PairSnapshots(sample, blended), kPairClockUnavailable) << kind;
    EXPECT_TRUE(IsAllZero(blended));
  }
  // One tick named twice would "blend" a snapshot with itself; reversed ticks would play the
  // motion backwards.
  blended = Pose(9.0f);
  EXPECT_EQ(history.PairSnapshots(Interpolated(3, 11, 11, 0.5), blended), kPairClockUnavailable);
  EXPECT_TRUE(IsAllZero(blended));
  EXPECT_EQ(history.PairSnapshots(Interpolated(3, 11, 10, 0.5), blended), kPairClockUnavailable);

  CameraPoseHistory single;
  single.AppendSnapshot(10, 3, Pose(0.0f));
  EXPECT_EQ(single.PairSnapshots(Interpolated(3, 10, 11, 0.5), blended), kPairSnapshotsMissing);
  EXPECT_EQ(CameraPoseHistory{}.PairSnapshots(Interpolated(0, 1, 2, 0.5), blended),
            kPairGenerationMismatch);
}

TEST(SnapshotHistory, UnusableAlphaIsInvalidAndLeavesZero) {
  const CameraPoseHistory history = TwoTicks();
  for (const double alpha : {static_cast<double>(kNaN), -0.1, 1.1}) {
    CameraPose blended = Pose(9.0f);
    EXPECT_EQ(history.PairSnapshots(Interpolated(3, 10, 11, alpha), blended), kPairInvalid);
    EXPECT_TRUE(IsAllZero(blended));
  }
}

TEST(SnapshotHistory, ClearForgetsEntriesAndGeneration) {
  CameraPoseHistory history = TwoTicks();
  history.ClearHistory();
  EXPECT_EQ(history.count(), 0u);
  EXPECT_FALSE(history.bound());
  EXPECT_EQ(history.generation(), 0u);
  EXPECT_EQ(history.AppendSnapshot(12, 3, Pose(0.0f)), kAppendGeneration);
}

RigidTransform TurnedAboutY(float angle, float x) {
  RigidTransform t = IdentityTransform();
  t.m[0] = t.m[10] = std::cos(angle);
  t.m[2] = std::sin(angle);
  t.m[8] = -std::sin(angle);
  t.m[3] = x;
  return t;
}

TEST(SnapshotHistory, RigidTransformHistoryUsesTheRigidityAndTurnRules) {
  RigidTransformHistory history;
  EXPECT_EQ(history.AppendSnapshot(1, 0, TurnedAboutY(0.0f, 0.0f)), kAppendGeneration);
  EXPECT_EQ(history.AppendSnapshot(2, 0, TurnedAboutY(1.0f, 2.0f)), kAppendAppended);
  RigidTransform blended;
  ASSERT_EQ(history.PairSnapshots(Interpolated(0, 1, 2, 0.5), blended), kPairApplied);
  EXPECT_NEAR(blended.m[2], std::sin(0.5f), 1e-5f);
  EXPECT_FLOAT_EQ(blended.m[3], 1.0f);

  EXPECT_EQ(history.AppendSnapshot(3, 0, TurnedAboutY(3.2f, 2.0f)), kAppendDiscontinuity);
  RigidTransform scaled = TurnedAboutY(3.2f, 2.0f);
  scaled.m[5] = 1.01f;
  EXPECT_EQ(history.AppendSnapshot(4, 0, scaled), kAppendInvalid);
  EXPECT_EQ(history.count(), 0u);
}

std::unique_ptr<BonePalette> Palette(uint32_t bones, float x) {
  auto palette = std::make_unique<BonePalette>();
  palette->boneCount = bones;
  for (uint32_t bone = 0; bone < bones; ++bone) {
    float (&m)[16] = palette->transforms[bone];
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    m[3] = x;
  }
  return palette;
}

TEST(SnapshotHistory, PaletteHistoryReportsBoneCountChangesOnTheirOwn) {
  auto history = std::make_unique<BonePaletteHistory>();
  EXPECT_EQ(history->AppendSnapshot(1, 0, *Palette(40, 0.0f)), kPaletteAppendGeneration);
  EXPECT_EQ(history->AppendSnapshot(2, 0, *Palette(41, 0.0f)), kPaletteAppendBoneCount);
  EXPECT_EQ(history->count(), 1u);
  EXPECT_EQ(history->AppendSnapshot(3, 0, *Palette(41, 1.0f)), kPaletteAppendAppended);
  EXPECT_EQ(history->AppendSnapshot(5, 0, *Palette(41, 1.0f)), kPaletteAppendDiscontinuity);
  EXPECT_EQ(history->AppendSnapshot(6, 0, *Palette(41, 6.5f)), kPaletteAppendDiscontinuity);
  EXPECT_EQ(history->AppendSnapshot(6, 0, *Palette(41, 6.5f)), kPaletteAppendUnchanged);
  // A count change within a tick is a mutation of that tick.
  EXPECT_EQ(history->AppendSnapshot(6, 0, *Palette(40, 6.5f)), kPaletteAppendSameTickMutation);
}

TEST(SnapshotHistory, PalettePairBlendsOrLeavesZero) {
  auto history = std::make_unique<BonePaletteHistory>();
  history->AppendSnapshot(1, 0, *Palette(40, 0.0f));
  history->AppendSnapshot(2, 0, *Palette(40, 2.0f));
  auto blended = std::make_unique<BonePalette>();
  ASSERT_EQ(history->PairSnapshots(Interpolated(0, 1, 2, 0.75), *blended), kPairApplied);
  EXPECT_EQ(blended->boneCount, 40u);
  EXPECT_FLOAT_EQ(blended->transforms[39][3], 1.5f);

  // Bones that turn half a circle in one tick pass the jump test but cannot be blended.
  auto turned = Palette(40, 2.0f);
  turned->transforms[7][0] = turned->transforms[7][5] = -1.0f;
  EXPECT_EQ(history->AppendSnapshot(3, 0, *turned), kPaletteAppendAppended);
  EXPECT_EQ(history->PairSnapshots(Interpolated(0, 2, 3, 0.5), *blended), kPairInvalid);
  EXPECT_TRUE(IsAllZero(*blended));
}

TEST(SnapshotHistory, InvalidPalettesClearTheHistory) {
  auto history = std::make_unique<BonePaletteHistory>();
  auto bad = Palette(40, 0.0f);
  bad->transforms[3][7] = 20000.0f;
  const auto empty = Palette(0, 0.0f);
  const auto tooMany = Palette(128, 0.0f);
  tooMany->boneCount = 129;
  for (const BonePalette* palette : {empty.get(), tooMany.get(), bad.get()}) {
    ASSERT_EQ(history->AppendSnapshot(1, 0, *Palette(40, 0.0f)), kPaletteAppendGeneration);
    EXPECT_EQ(history->AppendSnapshot(2, 0, *palette), kPaletteAppendInvalid);
    EXPECT_EQ(history->count(), 0u);
    EXPECT_FALSE(history->bound());
  }
}

std::wstring Name(const wchar_t* name) { return name; }

TEST(SnapshotHistory, ResultNames) {
  const wchar_t* const append[] = {L"appended", L"unchanged", L"invalid", L"generation",
                                   L"non-monotonic", L"same-tick-mutation", L"discontinuity"};
  for (uint32_t value = 0; value < 7; ++value) {
    EXPECT_EQ(Name(HistoryAppendResultName(value)), append[value]);
    EXPECT_EQ(Name(CameraPoseTraits::AppendResultName(value)), append[value]);
  }
  EXPECT_EQ(Name(HistoryAppendResultName(7)), L"unknown");

  const wchar_t* const palette[] = {L"appended",      L"unchanged",          L"invalid",
                                    L"generation",    L"non-monotonic",      L"same-tick-mutation",
                                    L"bone-count",    L"discontinuity"};
  for (uint32_t value = 0; value < 8; ++value) {
    EXPECT_EQ(Name(PaletteAppendResultName(value)), palette[value]);
    EXPECT_EQ(Name(BonePaletteTraits::AppendResultName(value)), palette[value]);
  }
  EXPECT_EQ(Name(PaletteAppendResultName(8)), L"unknown");

  const wchar_t* const pair[] = {L"applied", L"clock-unavailable", L"generation-mismatch",
                                 L"snapshots-missing", L"invalid"};
  for (uint32_t value = 0; value < 5; ++value) {
    EXPECT_EQ(Name(HistoryPairResultName(value)), pair[value]);
  }
  EXPECT_EQ(Name(HistoryPairResultName(5)), L"unknown");
  EXPECT_EQ(Name(HistoryPairResultName(0xFFFFFFFFu)), L"unknown");
}

}  // namespace
}  // namespace driftglass
