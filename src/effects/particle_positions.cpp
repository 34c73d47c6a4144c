#include "effects/particle_positions.h"

#include <cmath>
#include <cstring>

namespace driftglass {
namespace {

// iParticleEmitter: particle pointer array, live count (its first entries) and capacity.
constexpr uintptr_t kEmitterBegin = 0x39C;
constexpr uintptr_t kEmitterEnd = 0x3A0;
constexpr uintptr_t kEmitterLive = 0x3AC;
constexpr uintptr_t kEmitterCapacity = 0x3B0;
// Particle: position at the current tick, then at the previous one.
constexpr uintptr_t kParticleCurrent = 0x00;
constexpr uintptr_t kParticlePrevious = 0x0C;

constexpr uint32_t kMaxParticles = 4096;

struct Position { float v[3]; };

// Shared by every thread, but only the render thread has a valid hand-off, and the nesting guard
// keeps that thread from re-entering while the buffers are in use.
struct ParticleScratch {
  uint8_t* particle[kMaxParticles];
  Position saved[kMaxParticles];
  Position blended[kMaxParticles];
};
ParticleScratch g_scratch;

thread_local ParticleHandOff t_handOff;
thread_local bool t_insideEmitter = false;

// Plain reads: the host hands us a live emitter inside its own call.
template <typename T>
T Field(const void* object, uintptr_t offset) {
  T value;
  memcpy(&value, static_cast<const uint8_t*>(object) + offset, sizeof(value));
  return value;
}

bool IsFinite(const Position& p) {
  return std::isfinite(p.v[0]) && std::isfinite(p.v[1]) && std::isfinite(p.v[2]);
}

// Fills the scratch buffers for every live particle; false leaves the particles untouched.
bool PrepareBlend(uint8_t* const* array, uint32_t live, float fraction) {
  for (uint32_t i = 0; i < live; ++i) {
    uint8_t* const particle = array[i];
    if (particle == nullptr) return false;
    const Position current = Field<Position>(particle, kParticleCurrent);
    const Position previous = Field<Position>(particle, kParticlePrevious);
    if (!IsFinite(current) || !IsFinite(previous)) return false;
    Position blended;
    for (int c = 0; c < 3; ++c) blended.v[c] = previous.v[c] + (current.v[c] - previous.v[c]) * fraction;
    if (!IsFinite(blended)) return false;
    g_scratch.particle[i] = particle;
    g_scratch.saved[i] = current;
    g_scratch.blended[i] = blended;
  }
  return true;
}

}  // namespace

ParticleHandOff& ThreadParticleHandOff() { return t_handOff; }

uint8_t UpdateEmitterBetweenTicks(void* emitter, void* frustum, float frameTime, EmitterUpdateFunction original,
                                  ParticleCounts& counts) {
  ++counts.calls;
  if (!t_handOff.alphaValid || t_insideEmitter || emitter == nullptr) {
    ++counts.inactive;
    return original(emitter, frustum, frameTime);
  }
  const uint32_t live = Field<uint32_t>(emitter, kEmitterLive);
  if (live == 0) return original(emitter, frustum, frameTime);

  const uintptr_t begin = Field<uintptr_t>(emitter, kEmitterBegin);
  const uintptr_t end = Field<uintptr_t>(emitter, kEmitterEnd);
  const uint32_t capacity = Field<uint32_t>(emitter, kEmitterCapacity);
  const bool shapeValid = begin != 0 && end >= begin && (end - begin) % sizeof(void*) == 0 && live <= capacity &&
                          live <= (end - begin) / sizeof(void*);
  if (!shapeValid) {
    ++counts.invalid;
    return original(emitter, frustum, frameTime);
  }
  if (live > kMaxParticles) {
    ++counts.capacity;
    return original(emitter, frustum, frameTime);
  }
  const double alpha = t_handOff.alpha;
  if (!std::isfinite(alpha) || alpha < 0.0 || alpha > 1.0 ||
      !PrepareBlend(reinterpret_cast<uint8_t* const*>(begin), live, static_cast<float>(alpha))) {
    ++counts.invalid;
    return original(emitter, frustum, frameTime);
  }

  t_insideEmitter = true;
  for (uint32_t i = 0; i < live; ++i) {
    memcpy(g_scratch.particle[i] + kParticleCurrent, &g_scratch.blended[i], sizeof(Position));
  }
  const uint8_t result = original(emitter, frustum, frameTime);
  for (uint32_t i = 0; i < live; ++i) {
    memcpy(g_scratch.particle[i] + kParticleCurrent, &g_scratch.saved[i], sizeof(Position));
  }
  t_insideEmitter = false;
  ++counts.emitters;
  counts.positions += live;
  return result;
}

}  // namespace driftglass
