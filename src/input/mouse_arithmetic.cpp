#include "input/mouse_arithmetic.h"

namespace driftglass {
namespace {

constexpr int64_t kMin = INT32_MIN;
constexpr int64_t kMax = INT32_MAX;

int32_t Clamp32(int64_t value) {
  return static_cast<int32_t>(value < kMin ? kMin : (value > kMax ? kMax : value));
}

// base + add without overflowing 64 bits either: add may be anywhere in its range.
int64_t Sum(int32_t base, int64_t add) {
  if (add > INT64_MAX - kMax) return INT64_MAX;
  if (add < INT64_MIN - kMin) return INT64_MIN;
  return base + add;
}

}  // namespace

int32_t SaturatingMerge(int32_t base, int64_t add, uint32_t& overflows) {
  const int64_t sum = Sum(base, add);
  if (sum > kMax || sum < kMin) ++overflows;
  return Clamp32(sum);
}

MousePoint SaturatingDiff(MousePoint a, MousePoint b) {
  return MousePoint{Clamp32(int64_t{a.x} - b.x), Clamp32(int64_t{a.y} - b.y)};
}

int32_t ClampToClient(int32_t value, int64_t add, int32_t size) {
  if (size < 1) return value;
  const int64_t v = Sum(value, add);
  if (v > size - 1) return size - 1;
  if (v < 0) return 0;
  return static_cast<int32_t>(v);
}

bool IsPreviewLive(bool mouseOverlay, bool gameplayLive, uint64_t gameplayInputTick, uint64_t currentTick) {
  return mouseOverlay && gameplayLive && gameplayInputTick != 0 && currentTick <= gameplayInputTick + 1;
}

}  // namespace driftglass
