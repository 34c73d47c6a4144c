#pragma once
// Draws each live particle between its previous and current fixed-tick positions while its
// emitter builds render vertices inside the scene render, then puts the host's positions back.
// No history of our own: the host keeps both positions per particle.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

// Set by the frame sequence just before the engine's render and cleared after it; per thread.
struct ParticleHandOff { bool alphaValid = false; double alpha = 0.0; };
ParticleHandOff& ThreadParticleHandOff();

struct ParticleCounts { uint32_t calls = 0, emitters = 0, positions = 0, inactive = 0, invalid = 0, capacity = 0; };

using EmitterUpdateFunction = uint8_t(DRIFTGLASS_THISCALL*)(void* emitter, void* frustum, float frameTime);

// The detour's work: calls original exactly once and returns its result; counts what happened.
uint8_t UpdateEmitterBetweenTicks(void* emitter, void* frustum, float frameTime, EmitterUpdateFunction original,
                                  ParticleCounts& counts);

}  // namespace driftglass
