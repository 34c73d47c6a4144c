#include "shared/bone_palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace driftglass {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Bone i turned by angle about z, scaled by `scale`, placed at (i, 2i, offset).
void SetBone(BonePalette& palette, uint32_t bone, float angle, float scale, float offset) {
  float (&m)[16] = palette.transforms[bone];
  for (float& element : m) element = 0.0f;
  const float c = std::cos(angle) * scale, s = std::sin(angle) * scale;
  m[0] = c;
  m[1] = -s;
  m[4] = s;
  m[5] = c;
  m[10] = scale;
  m[3] = static_cast<float>(bone);
  m[7] = 2.0f * static_cast<float>(bone);
  m[11] = offset;
  m[15] = 1.0f;
}

// Heap-held: a palette is 8 KB and the tests keep several.
std::unique_ptr<BonePalette> MakePalette(uint32_t bones, float angle = 0.0f, float scale = 1.0f,
                                         float offset = 0.0f) {
  auto palette = std::make_unique<BonePalette>();
  palette->boneCount = bones;
  for (uint32_t bone = 0; bone < bones; ++bone) SetBone(*palette, bone, angle, scale, offset);
  return palette;
}

bool AllZero(const BonePalette& palette) {
  if (palette.boneCount != 0) return false;
  for (const auto& bone : palette.transforms) {
    for (const float element : bone) {
      if (element != 0.0f) return false;
    }
  }
  return true;
}

TEST(BonePalette, BonesMayScaleAndMirrorButNotCollapse) {
  EXPECT_TRUE(IsValidBonePalette(*MakePalette(1)));
  EXPECT_TRUE(IsValidBonePalette(*MakePalette(128, 0.5f, 3.0f, 9000.0f)));
  EXPECT_TRUE(IsValidBonePalette(*MakePalette(40, 0.5f, -0.5f)));  // mirrored
  EXPECT_TRUE(IsValidBonePalette(*MakePalette(40, 0.5f, 0.03f)));  // determinant 2.7e-5
  EXPECT_FALSE(IsValidBonePalette(*MakePalette(40, 0.5f, 0.02f)));  // determinant 8e-6
  EXPECT_FALSE(IsValidBonePalette(*MakePalette(40, 0.5f, 0.0f)));
}

TEST(BonePalette, CountsAndElementsOutOfRangeAreInvalid) {
  EXPECT_FALSE(IsValidBonePalette(*MakePalette(0)));
  auto palette = MakePalette(128);
  palette->boneCount = 129;
  EXPECT_FALSE(IsValidBonePalette(*palette));

  for (const float bad : {20000.0f, -20000.0f, kNaN, std::numeric_limits<float>::infinity()}) {
    palette = MakePalette(40);
    palette->transforms[39][7] = bad;
    EXPECT_FALSE(IsValidBonePalette(*palette)) << bad;
  }
  palette = MakePalette(40);
  palette->transforms[12][13] = 0.003f;
  EXPECT_FALSE(IsValidBonePalette(*palette));
  palette = MakePalette(40);
  palette->transforms[12][15] = 0.997f;
  EXPECT_FALSE(IsValidBonePalette(*palette));

  // Only the used bones count.
  palette = MakePalette(40);
  palette->transforms[40][0] = kNaN;
  EXPECT_TRUE(IsValidBonePalette(*palette));
}

TEST(BonePalette, BlendIsElementWiseWithExactBottomRowsAndZeroUnusedBones) {
  auto older = MakePalette(3, 0.0f, 1.0f, 0.0f);
  auto newer = MakePalette(3, 0.0f, 2.0f, 4.0f);
  older->transforms[1][12] = 0.001f;  // inside the tolerance, but not carried over
  older->transforms[100][0] = 5.0f;   // unused bones are not carried over either
  auto out = std::make_unique<BonePalette>();
  ASSERT_TRUE(BlendBonePalettes(*older, *newer, 0.25, *out));
  EXPECT_EQ(out->boneCount, 3u);
  for (uint32_t bone = 0; bone < 3; ++bone) {
    const float (&m)[16] = out->transforms[bone];
    EXPECT_FLOAT_EQ(m[0], 1.25f);
    EXPECT_FLOAT_EQ(m[5], 1.25f);
    EXPECT_FLOAT_EQ(m[10], 1.25f);
    EXPECT_FLOAT_EQ(m[11], 1.0f);
    EXPECT_FLOAT_EQ(m[7], 2.0f * static_cast<float>(bone));
    EXPECT_EQ(m[12], 0.0f);
    EXPECT_EQ(m[13], 0.0f);
    EXPECT_EQ(m[14], 0.0f);
    EXPECT_EQ(m[15], 1.0f);
  }
  for (uint32_t bone = 3; bone < BonePalette::kMaxBones; ++bone) {
    for (const float element : out->transforms[bone]) ASSERT_EQ(element, 0.0f) << bone;
  }
}

TEST(BonePalette, FailedBlendLeavesAnAllZeroPalette) {
  auto older = MakePalette(40);
  auto newer = MakePalette(40, 3.14159265f);  // a half-turn: the midway 3×3 collapses
  auto out = MakePalette(5);
  EXPECT_FALSE(BlendBonePalettes(*older, *newer, 0.5, *out));
  EXPECT_TRUE(AllZero(*out));
  EXPECT_TRUE(BlendBonePalettes(*older, *newer, 0.1, *out));

  auto other = MakePalette(41);
  out = MakePalette(5);
  EXPECT_FALSE(BlendBonePalettes(*older, *other, 0.5, *out));
  EXPECT_TRUE(AllZero(*out));
  for (const double alpha : {-0.5, 1.5, static_cast<double>(kNaN)}) {
    out = MakePalette(5);
    EXPECT_FALSE(BlendBonePalettes(*older, *older, alpha, *out)) << alpha;
    EXPECT_TRUE(AllZero(*out));
  }
  other = MakePalette(40);
  other->transforms[3][0] = kNaN;
  EXPECT_FALSE(BlendBonePalettes(*older, *other, 0.5, *out));
  EXPECT_TRUE(AllZero(*out));
}

TEST(BonePalette, BlendIntoAnInputIsRefusedWithoutTouchingIt) {
  auto older = MakePalette(10);
  auto newer = MakePalette(10, 0.2f);
  EXPECT_FALSE(BlendBonePalettes(*older, *newer, 0.5, *older));
  EXPECT_EQ(older->boneCount, 10u);
  EXPECT_TRUE(IsValidBonePalette(*older));
}

TEST(BonePalette, JumpTestLooksAtEveryUsedBone) {
  auto previous = MakePalette(40);
  auto next = MakePalette(40);
  EXPECT_FALSE(IsBonePaletteJump(*previous, *next, 1.0f));

  next->transforms[39][11] = 4.9f;
  EXPECT_FALSE(IsBonePaletteJump(*previous, *next, 1.0f));
  next->transforms[39][11] = 5.1f;
  EXPECT_TRUE(IsBonePaletteJump(*previous, *next, 1.0f));
  EXPECT_FALSE(IsBonePaletteJump(*previous, *next, 2.0f));

  // A half-turn changes elements by 2 at most, which is not a jump; a scale change by more is.
  next = MakePalette(40, 3.14159265f);
  EXPECT_FALSE(IsBonePaletteJump(*previous, *next, 1.0f));
  next = MakePalette(40, 0.0f, 3.5f);
  EXPECT_TRUE(IsBonePaletteJump(*previous, *next, 1.0f));

  next = MakePalette(40);
  next->transforms[20][6] = kNaN;
  EXPECT_TRUE(IsBonePaletteJump(*previous, *next, 1.0f));
  EXPECT_TRUE(IsBonePaletteJump(*previous, *MakePalette(41), 1.0f));
}

TEST(BonePalette, SameNeedsEqualCountsAndCloseUsedElements) {
  auto a = MakePalette(40, 0.3f);
  auto b = MakePalette(40, 0.3f);
  b->transforms[39][3] += 0.5e-5f;
  b->transforms[40][3] = 100.0f;  // unused
  EXPECT_TRUE(SameBonePalette(*a, *b));
  b->transforms[0][0] += 2e-5f;
  EXPECT_FALSE(SameBonePalette(*a, *b));
  EXPECT_FALSE(SameBonePalette(*a, *MakePalette(41, 0.3f)));
}

}  // namespace
}  // namespace driftglass
