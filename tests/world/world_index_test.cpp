#include "world/world_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "world/moving_transform_append.h"

namespace driftglass {
namespace {

const void* P(uintptr_t value) { return reinterpret_cast<const void*>(value); }

TEST(WorldIndexTest, HomeSlotsFollowTheTwoHashes) {
  EXPECT_EQ(WorldIndexHome(P(0x12345670)), 68u);
  EXPECT_EQ(WorldIndexHome(P(0x3FF0)), 1023u);
  EXPECT_EQ(WorldIndexHome(WorldPairKey{P(0x20000040), P(0x10000130)}), 713u);
  EXPECT_EQ(WorldIndexHome(WorldPairKey{}), 441u);
  // The pair hash is not symmetric: owner and body are different roles.
  EXPECT_NE(WorldIndexHome(WorldPairKey{P(0x1230), P(0x4560)}),
            WorldIndexHome(WorldPairKey{P(0x4560), P(0x1230)}));
}

// Keys stored in a plain table; the index keeps positions into it.
struct Keys {
  std::vector<const void*> at;
  WorldIndex<const void*> index;
  uint32_t Find(const void* key) const {
    return index.Find(key, [this](uint32_t p) { return at[p]; });
  }
  bool Erase(const void* key) {
    return index.Erase(key, [this](uint32_t p) { return at[p]; });
  }
};

TEST(WorldIndexTest, CollidingKeysWrapPastTheLastSlotAndSurviveErasure) {
  Keys keys;
  for (uintptr_t k = 0; k < 4; ++k) {
    keys.at.push_back(P(0x3FF0 + k * 0x4000));  // all at home 1023
    ASSERT_TRUE(keys.index.Insert(keys.at.back(), static_cast<uint32_t>(k)));
  }
  EXPECT_EQ(keys.index.slot(1023), 1u);
  EXPECT_EQ(keys.index.slot(0), 2u);
  EXPECT_EQ(keys.index.slot(2), 4u);
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(keys.Find(keys.at[k]), k);
  EXPECT_EQ(keys.Find(P(0x3FF0 + 9 * 0x4000)), kWorldIndexNotFound);

  // Removing the head of the run must not cut the others off from home.
  ASSERT_TRUE(keys.Erase(keys.at[0]));
  EXPECT_FALSE(keys.Erase(keys.at[0]));
  EXPECT_EQ(keys.Find(keys.at[0]), kWorldIndexNotFound);
  for (uint32_t k = 1; k < 4; ++k) EXPECT_EQ(keys.Find(keys.at[k]), k);
  EXPECT_EQ(keys.index.slot(2), 0u);

  keys.index.Rebuild(4, [&](uint32_t p, const void*& key) {
    key = keys.at[p];
    return p != 2;
  });
  EXPECT_EQ(keys.Find(keys.at[0]), 0u);
  EXPECT_EQ(keys.Find(keys.at[2]), kWorldIndexNotFound);
  EXPECT_EQ(keys.Find(keys.at[3]), 3u);
}

// Erasure in crowded runs keeps every remaining key reachable; a reference set says which.
TEST(WorldIndexTest, RandomInsertsAndErasuresKeepEveryKeyReachable) {
  Keys keys;
  std::vector<bool> present;
  uint32_t state = 12345;
  const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  for (uint32_t k = 0; k < 900; ++k) {
    // Few distinct homes, so runs are long and cross slot 1023.
    keys.at.push_back(P(0x3F00 + (next() % 24) * 0x10 + (k << 14)));
    present.push_back(false);
  }
  for (int round = 0; round < 20000; ++round) {
    const uint32_t k = next() % 900;
    if (present[k]) {
      ASSERT_TRUE(keys.Erase(keys.at[k]));
    } else {
      ASSERT_TRUE(keys.index.Insert(keys.at[k], k));
    }
    present[k] = !present[k];
    if (round % 97 != 0) continue;
    for (uint32_t j = 0; j < 900; ++j) {
      ASSERT_EQ(keys.Find(keys.at[j]), present[j] ? j : kWorldIndexNotFound) << round;
    }
  }
}

RigidTransform At(float x) {
  RigidTransform t = IdentityTransform();
  t.m[3] = x;
  return t;
}

// Ticks and x positions appended in order; the last result and what is kept.
TEST(MovingTransformAppendTest, AnUnmovedTickReplacesTheHistory) {
  struct Step {
    uint64_t tick;
    float x;
    uint64_t generation;
  };
  struct Case {
    std::vector<Step> steps;
    uint32_t last;
    uint32_t count;
    uint64_t newestTick;
  } cases[] = {
      {{{10, 0, 1}, {11, 0, 1}}, kAppendUnchanged, 1, 11},
      {{{10, 0, 1}, {11, 1e-6f, 1}}, kAppendUnchanged, 1, 11},
      {{{10, 0, 1}, {11, 0.5f, 1}}, kAppendAppended, 2, 11},
      {{{10, 0, 1}, {11, 0.5f, 1}, {12, 0.5f, 1}}, kAppendUnchanged, 1, 12},
      {{{10, 0, 1}, {11, 0.5f, 1}, {12, 0.6f, 1}}, kAppendAppended, 2, 12},
      {{{10, 0, 1}, {10, 0, 1}}, kAppendUnchanged, 1, 10},
      {{{10, 0, 1}, {12, 0, 1}}, kAppendDiscontinuity, 1, 12},
      {{{10, 0, 1}, {11, 6.0f, 1}}, kAppendDiscontinuity, 1, 11},
      {{{10, 0, 1}, {11, 0, 2}}, kAppendGeneration, 1, 11},
      {{{10, 0, 1}, {9, 0, 1}}, kAppendNonMonotonic, 1, 9},
  };
  for (size_t c = 0; c < std::size(cases); ++c) {
    RigidTransformHistory history;
    uint32_t result = 0;
    for (const Step& s : cases[c].steps) {
      result = AppendMovingTransform(history, s.tick, s.generation, At(s.x));
    }
    EXPECT_EQ(result, cases[c].last) << "case " << c;
    ASSERT_EQ(history.count(), cases[c].count) << "case " << c;
    EXPECT_EQ(history.entry(history.count() - 1).tick, cases[c].newestTick) << "case " << c;
    EXPECT_TRUE(history.bound()) << "case " << c;
  }
  RigidTransformHistory history;
  RigidTransform broken = At(0);
  broken.m[0] = 2;
  EXPECT_EQ(AppendMovingTransform(history, 1, 1, broken), kAppendInvalid);
  EXPECT_EQ(history.count(), 0u);
}

}  // namespace
}  // namespace driftglass
