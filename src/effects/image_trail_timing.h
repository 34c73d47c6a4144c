#pragma once
// The image-trail effect's decay is tuned for 60 draws per second. For one effect draw at a time
// its amount is replaced by the one that keeps the same decay per second at the actual render
// interval, and put back bit for bit afterwards.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

// The amount giving at interval T the decay per second that A gives at 60 draws per second.
bool ConvertImageTrailAmount(float amount, float interval, float& converted);

struct ImageTrailCounts { uint32_t calls = 0, adjusted = 0, unchanged = 0, clear = 0, invalid = 0, nested = 0, restoreFail = 0; };

using ImageTrailFunction = uint32_t(DRIFTGLASS_THISCALL*)(void* effect, void* input, void* output);

uint32_t RenderImageTrailAtFrameRate(void* effect, void* input, void* output, ImageTrailFunction original,
                                     ImageTrailCounts& counts);

}  // namespace driftglass
