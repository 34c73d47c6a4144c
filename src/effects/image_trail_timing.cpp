#include "effects/image_trail_timing.h"

#include <cmath>
#include <cstring>

#include "host/guarded_memory.h"

namespace driftglass {
namespace {

// cPostEffect_ImageTrail: the object carrying the render interval, the amount, the clear request.
constexpr uintptr_t kEffectIntervalOwner = 0x18;
constexpr uintptr_t kEffectAmount = 0x4C;
constexpr uintptr_t kEffectClearRequest = 0x50;
constexpr uintptr_t kRenderInterval = 0x11C;

// The stock per-draw decay is exp(-A * 0.015 / T) at T = 1/60 s.
constexpr double kStockDrawRate = 60.0;
constexpr double kDecayScale = 0.015;

thread_local bool t_insideAdjustedDraw = false;

uint32_t FloatBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

}  // namespace

bool ConvertImageTrailAmount(float amount, float interval, float& converted) {
  if (!std::isfinite(amount) || !(amount >= 0.0f) || !std::isfinite(interval) || !(interval > 0.0f)) return false;
  if (amount == 0.0f) {
    converted = amount;  // keeps a -0 as it is, so it reads as unchanged
    return true;
  }
  const double k = -(kStockDrawRate * kDecayScale);
  const double d = std::exp(k * amount);
  if (!std::isfinite(d) || !(d > 0.0) || !(d < 1.0)) return false;
  // 1 - (1 - d)^(60 T) in forms that keep precision when d or 60 T is small.
  const double v = -std::expm1(kStockDrawRate * interval * std::log1p(-d));
  if (!std::isfinite(v) || !(v > 0.0) || !(v <= 1.0)) return false;
  const double r = -std::log(v) * interval / kDecayScale;
  if (!std::isfinite(r) || !(r >= 0.0)) return false;
  const float rounded = static_cast<float>(r);
  if (!std::isfinite(rounded) || !(rounded >= 0.0f)) return false;
  converted = rounded;
  return true;
}

uint32_t RenderImageTrailAtFrameRate(void* effect, void* input, void* output, ImageTrailFunction original,
                                     ImageTrailCounts& counts) {
  ++counts.calls;
  if (effect == nullptr) {
    ++counts.invalid;
    return original(effect, input, output);
  }
  if (t_insideAdjustedDraw) {
    ++counts.nested;
    return original(effect, input, output);
  }
  uint8_t clearRequest = 0;
  if (!ReadHostValue(effect, kEffectClearRequest, clearRequest)) {
    ++counts.invalid;
    return original(effect, input, output);
  }
  if (clearRequest != 0) {
    ++counts.clear;
    return original(effect, input, output);
  }
  const void* intervalOwner = nullptr;
  uint32_t savedBits = 0;
  float amount = 0.0f;
  float interval = 0.0f;
  float converted = 0.0f;
  if (!ReadHostValue(effect, kEffectIntervalOwner, intervalOwner) || intervalOwner == nullptr ||
      !ReadHostValue(effect, kEffectAmount, savedBits) || !ReadHostValue(intervalOwner, kRenderInterval, interval)) {
    ++counts.invalid;
    return original(effect, input, output);
  }
  memcpy(&amount, &savedBits, sizeof(amount));
  if (!ConvertImageTrailAmount(amount, interval, converted)) {
    ++counts.invalid;
    return original(effect, input, output);
  }
  if (FloatBits(converted) == savedBits) {
    ++counts.unchanged;
    return original(effect, input, output);
  }
  uint8_t* const amountField = static_cast<uint8_t*>(effect) + kEffectAmount;
  if (!IsRangeWritable(amountField, sizeof(float))) {
    ++counts.invalid;
    return original(effect, input, output);
  }

  memcpy(amountField, &converted, sizeof(converted));
  t_insideAdjustedDraw = true;
  const uint32_t result = original(effect, input, output);
  t_insideAdjustedDraw = false;
  // The amount goes back whatever happened, but a draw that re-protected the field or wrote its
  // own amount over ours is reported rather than forced or hidden.
  volatile uint32_t* const amountBits = reinterpret_cast<volatile uint32_t*>(amountField);
  if (!IsRangeWritable(amountField, sizeof(float))) {
    ++counts.restoreFail;
  } else {
    const bool hostWrote = *amountBits != FloatBits(converted);
    *amountBits = savedBits;
    if (hostWrote || *amountBits != savedBits) ++counts.restoreFail;
  }
  ++counts.adjusted;
  return result;
}

}  // namespace driftglass
