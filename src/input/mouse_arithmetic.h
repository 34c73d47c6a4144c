#pragma once
// The integer arithmetic mouse counts go through between the presentation rate and the host's
// 32-bit fields: sums taken in 64 bits and clamped rather than wrapped, so a flood of motion can
// never turn into motion the other way.

#include <cstdint>

namespace driftglass {

struct MousePoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const MousePoint&) const = default;
};

// base + add in 64 bits, clamped to the signed 32-bit range; each clamp adds 1 to overflows.
int32_t SaturatingMerge(int32_t base, int64_t add, uint32_t& overflows);

// a − b per axis in 64 bits, clamped to the signed 32-bit range.
MousePoint SaturatingDiff(MousePoint a, MousePoint b);

// value + add kept inside a client extent of size pixels (0 .. size − 1); a size below 1 leaves
// value as it is.
int32_t ClampToClient(int32_t value, int64_t add, int32_t size);

// The look preview is live for the tick of the latest smooth-off gameplay input pass and the one
// after it (gameplayInputTick 0: no pass yet).
bool IsPreviewLive(bool mouseOverlay, bool gameplayLive, uint64_t gameplayInputTick, uint64_t currentTick);

}  // namespace driftglass
