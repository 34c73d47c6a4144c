#include "input/mouse_arithmetic.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace driftglass {
namespace {

TEST(MouseArithmetic, MergeClampsAtTheThirtyTwoBitLimitsAndCountsEachClamp) {
  const struct {
    int32_t base;
    int64_t add;
    int32_t sum;
    uint32_t overflows;
  } cases[] = {
      {5, -7, -2, 0},
      {INT32_MAX - 1, 1, INT32_MAX, 0},
      {INT32_MAX, 1, INT32_MAX, 1},
      {INT32_MIN + 1, -1, INT32_MIN, 0},
      {INT32_MIN, -1, INT32_MIN, 1},
      {0, int64_t{1} << 40, INT32_MAX, 1},
      {0, -(int64_t{1} << 40), INT32_MIN, 1},
      {1, INT64_MAX, INT32_MAX, 1},  // the 64-bit sum itself must not wrap
      {-1, INT64_MIN, INT32_MIN, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.base << " + " << c.add);
    uint32_t overflows = 0;
    EXPECT_EQ(SaturatingMerge(c.base, c.add, overflows), c.sum);
    EXPECT_EQ(overflows, c.overflows);
  }
}

TEST(MouseArithmetic, DiffClampsPerAxis) {
  EXPECT_EQ(SaturatingDiff({10, -4}, {3, 6}), (MousePoint{7, -10}));
  EXPECT_EQ(SaturatingDiff({INT32_MAX, INT32_MIN}, {-1, 1}), (MousePoint{INT32_MAX, INT32_MIN}));
  EXPECT_EQ(SaturatingDiff({INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}), (MousePoint{INT32_MIN, INT32_MAX}));
}

TEST(MouseArithmetic, ClientClampKeepsTheCursorInsideTheClientArea) {
  const struct {
    int32_t value;
    int64_t add;
    int32_t size;
    int32_t result;
  } cases[] = {
      {100, 20, 640, 120},  {630, 20, 640, 639}, {10, -20, 640, 0},   {639, 0, 640, 639},
      {0, 0, 640, 0},       {700, 0, 640, 639},  {5, 3, 0, 5},        {5, 3, -2, 5},
      {0, INT64_MAX, 480, 479}, {0, INT64_MIN, 480, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " + " << c.add << " in " << c.size);
    EXPECT_EQ(ClampToClient(c.value, c.add, c.size), c.result);
  }
}

TEST(MouseArithmetic, PreviewIsLiveForTheInputTickAndTheNext) {
  EXPECT_TRUE(IsPreviewLive(true, true, 7, 7));
  EXPECT_TRUE(IsPreviewLive(true, true, 7, 8));
  EXPECT_FALSE(IsPreviewLive(true, true, 7, 9));
  EXPECT_FALSE(IsPreviewLive(true, true, 0, 0)) << "no gameplay pass yet";
  EXPECT_FALSE(IsPreviewLive(false, true, 7, 7));
  EXPECT_FALSE(IsPreviewLive(true, false, 7, 7));
}

}  // namespace
}  // namespace driftglass
