#include "shared/bone_palette.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "shared/snapshot_limits.h"

namespace driftglass {
namespace {

constexpr float kMaxBoneElement = 10000.0f;
constexpr float kBottomRowTolerance = 0.002f;  // bits 0x3B03126F
constexpr float kMinBoneDeterminant = 1e-5f;
constexpr float kJumpElementPerTick = 2.0f;

float Determinant3x3(const float (&m)[16]) {
  return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
         m[2] * (m[4] * m[9] - m[5] * m[8]);
}

bool HasUsableBoneCount(const BonePalette& palette) {
  return palette.boneCount >= 1 && palette.boneCount <= BonePalette::kMaxBones;
}

}  // namespace

bool IsValidPaletteBone(const float (&bone)[16]) {
  for (const float value : bone) {
    // Also rejects NaN: the comparison is false for it.
    if (!(std::fabs(value) <= kMaxBoneElement)) return false;
  }
  if (!WithinTolerance(bone[12], 0.0f, kBottomRowTolerance) ||
      !WithinTolerance(bone[13], 0.0f, kBottomRowTolerance) ||
      !WithinTolerance(bone[14], 0.0f, kBottomRowTolerance) ||
      !WithinTolerance(bone[15], 1.0f, kBottomRowTolerance)) {
    return false;
  }
  const float determinant = Determinant3x3(bone);
  return std::isfinite(determinant) && std::fabs(determinant) > kMinBoneDeterminant;
}

bool IsValidBonePalette(const BonePalette& palette) {
  if (!HasUsableBoneCount(palette)) return false;
  for (uint32_t bone = 0; bone < palette.boneCount; ++bone) {
    if (!IsValidPaletteBone(palette.transforms[bone])) return false;
  }
  return true;
}

bool SameBonePalette(const BonePalette& a, const BonePalette& b) {
  if (a.boneCount != b.boneCount || !HasUsableBoneCount(a)) return false;
  for (uint32_t bone = 0; bone < a.boneCount; ++bone) {
    for (int i = 0; i < 16; ++i) {
      if (!WithinTolerance(a.transforms[bone][i], b.transforms[bone][i], kSnapshotMatchTolerance)) {
        return false;
      }
    }
  }
  return true;
}

bool IsBonePaletteJump(const BonePalette& previous, const BonePalette& next, float tickDelta) {
  if (previous.boneCount != next.boneCount || !HasUsableBoneCount(previous)) return true;
  const float distanceLimit = kTeleportDistancePerTick * tickDelta;
  const float elementLimit = kJumpElementPerTick * tickDelta;
  for (uint32_t bone = 0; bone < next.boneCount; ++bone) {
    const float (&a)[16] = previous.transforms[bone];
    const float (&b)[16] = next.transforms[bone];
    const float dx = b[3] - a[3], dy = b[7] - a[7], dz = b[11] - a[11];
    // Written as "not within" so that NaN counts as a jump.
    if (!(dx * dx + dy * dy + dz * dz <= distanceLimit * distanceLimit)) return true;
    for (const int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) {
      if (!WithinTolerance(a[i], b[i], elementLimit)) return true;
    }
  }
  return false;
}

bool BlendBonePalettes(const BonePalette& older, const BonePalette& newer, double alpha,
                       BonePalette& out) {
  if (&out == &older || &out == &newer) return false;
  if (!IsValidBonePalette(older) || !IsValidBonePalette(newer)) {
    out = BonePalette{};
    return false;
  }
  return BlendValidBonePalettes(older, newer, alpha, out);
}

bool BlendValidBonePalettes(const BonePalette& older, const BonePalette& newer, double alpha,
                            BonePalette& out) {
  if (&out == &older || &out == &newer) return false;
  if (older.boneCount != newer.boneCount || !HasUsableBoneCount(older) ||
      !std::isfinite(alpha) || alpha < 0.0 || alpha > 1.0) {
    out = BonePalette{};
    return false;
  }
  const float t = static_cast<float>(alpha);

  out.boneCount = older.boneCount;
  for (uint32_t bone = 0; bone < out.boneCount; ++bone) {
    const float (&a)[16] = older.transforms[bone];
    const float (&b)[16] = newer.transforms[bone];
    float (&blended)[16] = out.transforms[bone];
    for (int i = 0; i < 12; ++i) blended[i] = a[i] + (b[i] - a[i]) * t;
    blended[12] = blended[13] = blended[14] = 0.0f;
    blended[15] = 1.0f;
  }
  // Only the bones past the count are left to clear: a 128-bone palette is 8 KB a frame.
  memset(&out.transforms[0][0] + 16 * out.boneCount, 0,
         sizeof(out.transforms[0]) * (BonePalette::kMaxBones - out.boneCount));
  // Without re-orthonormalisation a half-turn of a bone collapses its 3×3; refuse that frame.
  if (!IsValidBonePalette(out)) {
    out = BonePalette{};
    return false;
  }
  return true;
}

}  // namespace driftglass
