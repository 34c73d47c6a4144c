#pragma once

#include <cstdint>

namespace driftglass {

// One skeleton's skinning matrices for one tick: row-major 4×4 floats like RigidTransform, but
// bones may carry scale and shear. Only the first boneCount transforms are meaningful.
struct BonePalette {
  static constexpr uint32_t kMaxBones = 128;

  float transforms[kMaxBones][16] = {};
  uint32_t boneCount = 0;
};

// Finite, every element within ±10000, bottom row 0, 0, 0, 1 within 0.002, and a 3×3 block that
// is not degenerate (|determinant| > 1e-5).
bool IsValidPaletteBone(const float (&bone)[16]);

// Bone count 1 to 128 and every used bone valid.
bool IsValidBonePalette(const BonePalette& palette);

// Same bone count and every float of every used bone within 1e-5.
bool SameBonePalette(const BonePalette& a, const BonePalette& b);

// Over tickDelta ticks, any used bone moving more than 5 units per tick or any of its nine
// rotation-and-scale elements changing by more than 2 per tick; differing bone counts also jump.
bool IsBonePaletteJump(const BonePalette& previous, const BonePalette& next, float tickDelta);

// Element-wise blend of elements 0 to 11 at alpha in [0, 1] (used as a float), bottom rows set
// exactly, unused bones zero. Both palettes and the result must be valid with equal bone counts.
// On failure out is all zero; out must not be one of the inputs (refused untouched if it is).
bool BlendBonePalettes(const BonePalette& older, const BonePalette& newer, double alpha,
                       BonePalette& out);

// The same for two palettes already known to be valid (a history's stored ticks), without
// testing them again.
bool BlendValidBonePalettes(const BonePalette& older, const BonePalette& newer, double alpha,
                            BonePalette& out);

}  // namespace driftglass
