#pragma once
// The detours on the renderer's particle vertex build and image-trail draw: particles are drawn
// between ticks and the trail decays as it does at 60 draws per second.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

uint8_t DRIFTGLASS_THISCALL EmitterUpdateGraphicsDetour(void* emitter, void* frustum, float frameTime);
uint32_t DRIFTGLASS_THISCALL ImageTrailRenderEffectDetour(void* effect, void* input, void* output);

}  // namespace driftglass
