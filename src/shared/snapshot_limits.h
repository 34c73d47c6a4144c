#pragma once

namespace driftglass {

// Two snapshots of one tick are the same state when every float agrees within this.
constexpr float kSnapshotMatchTolerance = 1e-5f;  // bits 0x3727C5AC

// More motion than this in one tick is a teleport, which must not be smeared across frames.
constexpr float kTeleportDistancePerTick = 5.0f;
constexpr float kTeleportAnglePerTick = 2.0943952f;  // nearest float to 2π/3, bits 0x40060A92
// The same bound on the alignment |q·r| of two rotations (their angle is 2·acos of it): an
// alignment below it is a turn of more than kTeleportAnglePerTick, exactly as acosf rounds it for
// every float in [0, 1].
constexpr float kTeleportAlignmentPerTick = 0.49999994f;  // bits 0x3EFFFFFE

// |a − b| ≤ tolerance, false for NaN so that garbage never counts as a match.
inline bool WithinTolerance(float a, float b, float tolerance) {
  const float difference = a - b;
  return (difference < 0.0f ? -difference : difference) <= tolerance;
}

}  // namespace driftglass
