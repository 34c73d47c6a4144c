#include "world/world_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "world/moving_transform_append.h"
#include "world/world_frame_tables.h"
#include "world/world_model_answers.h"

namespace driftglass {
namespace {

const void* P(uintptr_t value) { return reinterpret_cast<const void*>(value); }

// Keys stored in a plain table; the index keeps positions into it.
template <typename Key>
struct Keys {
  std::vector<Key> at;
  WorldIndex<Key> index;
  uint32_t Find(const Key& key) const {
    return index.Find(key, [this](uint32_t p) { return at[p]; });
  }
  bool Erase(const Key& key) {
    return index.Erase(key, [this](uint32_t p) { return at[p]; });
  }
  uint32_t Probes(const Key& key) const {
    return index.ProbeLength(key, [this](uint32_t p) { return at[p]; });
  }
};

// Addresses as an allocator hands them out: mixed sizes, several small ones in one page.
std::vector<uintptr_t> HeapLike(uint32_t count, uint32_t seed) {
  std::vector<uintptr_t> addresses;
  uintptr_t next = 0x02A31000;
  for (uint32_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    addresses.push_back(next);
    next += ((0x100 + (seed >> 8) % (0x2000 - 0x100)) + 15) & ~uintptr_t{15};
  }
  return addresses;
}

// A full table (every table holds 512) must find any key in about one probe, whatever the
// spacing of the objects: pages, powers of two and allocators' size classes alike.
TEST(WorldIndexTest, AFullTableFindsKeysOfAnyAddressPatternInAboutOneProbe) {
  constexpr uint32_t kFull = 512;
  struct Pattern {
    const char* name;
    std::vector<uintptr_t> addresses;
  };
  std::vector<Pattern> patterns;
  for (const uintptr_t spacing : {0x10u, 0x40u, 0x1A0u, 0x1000u, 0x10000u}) {
    Pattern pattern{"spaced", {}};
    for (uint32_t i = 0; i < 2 * kFull; ++i) pattern.addresses.push_back(0x01000000 + i * spacing);
    patterns.push_back(pattern);
  }
  for (const uint32_t seed : {1u, 2u, 3u}) patterns.push_back({"heap", HeapLike(2 * kFull, seed)});

  for (size_t n = 0; n < patterns.size(); ++n) {
    const std::vector<uintptr_t>& a = patterns[n].addresses;
    // Pointers; owners with one body each; props with three bodies; bodies that own themselves.
    Keys<const void*> pointers;
    Keys<WorldPairKey> single, triple, standalone;
    for (uint32_t i = 0; i < kFull; ++i) {
      pointers.at.push_back(P(a[i]));
      single.at.push_back({P(a[2 * i]), P(a[2 * i + 1])});
      triple.at.push_back({P(a[(i / 3) * 4]), P(a[(i / 3) * 4 + 1 + i % 3])});
      standalone.at.push_back({P(a[i]), P(a[i])});
    }
    const auto judge = [&](auto& keys, const char* what) {
      uint32_t total = 0, longest = 0;
      for (uint32_t i = 0; i < kFull; ++i) ASSERT_TRUE(keys.index.Insert(keys.at[i], i));
      for (uint32_t i = 0; i < kFull; ++i) {
        const uint32_t probes = keys.Probes(keys.at[i]);
        ASSERT_GE(probes, 1u);
        total += probes;
        longest = std::max(longest, probes);
      }
      const double mean = static_cast<double>(total) / kFull;
      EXPECT_LE(mean, 1.5) << patterns[n].name << " " << n << " " << what;
      EXPECT_LE(longest, 16u) << patterns[n].name << " " << n << " " << what;
    };
    judge(pointers, "pointers");
    judge(single, "owner and body");
    judge(triple, "props of three bodies");
    judge(standalone, "standalone bodies");
  }
}

// Keys whose home is one of the given slots, found by trying addresses in turn.
std::vector<const void*> KeysAtHomes(uint32_t count, uint32_t firstHome, uint32_t homes) {
  std::vector<const void*> keys;
  for (uintptr_t address = 0x10; keys.size() < count; address += 0x10) {
    if (((WorldIndexHome(P(address)) - firstHome) & (kWorldIndexSlots - 1)) < homes) {
      keys.push_back(P(address));
    }
  }
  return keys;
}

TEST(WorldIndexTest, CollidingKeysWrapPastTheLastSlotAndSurviveErasure) {
  constexpr uint32_t kLast = kWorldIndexSlots - 1;
  Keys<const void*> keys;
  keys.at = KeysAtHomes(4, kLast, 1);
  for (uint32_t k = 0; k < 4; ++k) ASSERT_TRUE(keys.index.Insert(keys.at[k], k));
  EXPECT_EQ(keys.index.slot(kLast), 1u);
  EXPECT_EQ(keys.index.slot(0), 2u);
  EXPECT_EQ(keys.index.slot(2), 4u);
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(keys.Find(keys.at[k]), k);
  EXPECT_EQ(keys.Probes(keys.at[3]), 4u);
  EXPECT_EQ(keys.Find(KeysAtHomes(5, kLast, 1)[4]), kWorldIndexNotFound);

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
  Keys<const void*> keys;
  // Few distinct homes, so runs are long and cross the last slot.
  keys.at = KeysAtHomes(900, kWorldIndexSlots - 12, 24);
  std::vector<bool> present(900, false);
  uint32_t state = 12345;
  const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
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

// A frame's tables empty their index slot by slot at its end, the last slot too: the next frame,
// with other keys, finds none of the frame before.
TEST(WorldFrameTablesTest, AClearedFrameFindsNoKeyOfTheFrameBefore) {
  const struct {
    std::vector<uintptr_t> first, second;
  } frames[] = {{{0x1000, 0x2000}, {0x3000}}, {{0x1000, 0x2000, 0x3000}, {0x4000, 0x5000}}};
  for (const auto& f : frames) {
    WorldFrameMeshes meshes;
    WorldFrameBodies bodies;
    WorldBodyEntry entries[5];
    uint32_t n = 0;
    const auto add = [&](uintptr_t key) {
      ASSERT_NE(meshes.FindOrAdd(P(key)), nullptr);
      entries[n].body = reinterpret_cast<void*>(key);
      ASSERT_TRUE(bodies.Register(entries[n++]));
    };
    for (const uintptr_t key : f.first) add(key);
    meshes.Clear();
    bodies.Clear();
    for (const uintptr_t key : f.second) add(key);
    for (const uintptr_t key : f.first) {
      EXPECT_EQ(meshes.Find(P(key)), nullptr) << key;
      EXPECT_EQ(bodies.Find(P(key)), nullptr) << key;
    }
    for (const uintptr_t key : f.second) EXPECT_NE(meshes.Find(P(key)), nullptr) << key;
  }
}

// Frames of sub-mesh keys asked in turn: each key is found when an answer is kept for it (its
// number tells which) and added when not; a frame under another stamp forgets every answer.
TEST(WorldModelAnswersTest, EachKeyIsFoundAsLongAsTheStampHoldsWhateverTheOrder) {
  struct Frame {
    const char* what;
    uint64_t stamp;
    std::vector<uintptr_t> keys;
    std::vector<bool> found;
  };
  const Frame frames[] = {
      {"the first frame adds", 1, {0x10, 0x20, 0x30}, {false, false, false}},
      {"the same order, at the cursor", 1, {0x10, 0x20, 0x30}, {true, true, true}},
      {"a new order, through the index", 1, {0x30, 0x10, 0x20}, {true, true, true}},
      {"a wrong guess: a new key where the cursor points", 1, {0x10, 0x40, 0x20}, {true, false, true}},
      {"drawn twice in a frame", 1, {0x20, 0x20, 0x40}, {true, true, true}},
      {"another tick: new objects may sit at the old addresses", 2, {0x10, 0x40}, {false, false}},
  };
  WorldModelAnswers answers;
  std::map<uintptr_t, uint8_t> numbers;  // what each key's answer holds, to tell answers apart
  uint8_t next = 1;
  for (const Frame& f : frames) {
    SCOPED_TRACE(f.what);
    answers.BeginFrame(f.stamp);
    if (f.stamp != 1) numbers.clear();
    for (size_t i = 0; i < f.keys.size(); ++i) {
      WorldModelAnswer* found = answers.Find(P(f.keys[i]));
      EXPECT_EQ(found != nullptr, f.found[i]) << f.keys[i];
      if (found == nullptr) {
        found = answers.Add(P(f.keys[i]));
        ASSERT_NE(found, nullptr);
        found->way = next;
        numbers[f.keys[i]] = next++;
      }
      EXPECT_EQ(found->way, numbers[f.keys[i]]) << f.keys[i];
    }
  }
  // A full table keeps what it has and takes no more.
  answers.BeginFrame(3);
  for (uintptr_t k = 1; k <= WorldModelAnswers::kCapacity; ++k) ASSERT_NE(answers.Add(P(k << 4)), nullptr);
  EXPECT_EQ(answers.Add(P(0x1)), nullptr);
  EXPECT_NE(answers.Find(P(WorldModelAnswers::kCapacity << 4)), nullptr);
  EXPECT_EQ(answers.Find(P(0x1)), nullptr);
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
