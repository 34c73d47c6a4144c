#include "effects/effects_detours.h"

#include "diag/telemetry_counters.h"
#include "effects/image_trail_timing.h"
#include "effects/particle_positions.h"

namespace driftglass {
namespace {

void Add(std::atomic<uint32_t>& counter, uint32_t amount) {
  if (amount != 0) counter.fetch_add(amount);
}

}  // namespace

uint8_t DRIFTGLASS_THISCALL EmitterUpdateGraphicsDetour(void* emitter, void* frustum, float frameTime) {
  ParticleCounts c;
  const uint8_t result = UpdateEmitterBetweenTicks(
      emitter, frustum, frameTime, Original<EmitterUpdateFunction>(kDetourEmitterUpdateGraphics), c);
  ParticlesTelemetry<LiveTelemetrySlots>& p = ProcessTelemetry().particles;
  Add(p.calls, c.calls);
  Add(p.emitters, c.emitters);
  Add(p.positions, c.positions);
  Add(p.inactive, c.inactive);
  Add(p.invalid, c.invalid);
  Add(p.capacity, c.capacity);
  return result;
}

uint32_t DRIFTGLASS_THISCALL ImageTrailRenderEffectDetour(void* effect, void* input, void* output) {
  ImageTrailCounts c;
  const uint32_t result = RenderImageTrailAtFrameRate(
      effect, input, output, Original<ImageTrailFunction>(kDetourImageTrailRenderEffect), c);
  ImageTrailTelemetry<LiveTelemetrySlots>& t = ProcessTelemetry().imageTrail;
  Add(t.calls, c.calls);
  Add(t.adjusted, c.adjusted);
  Add(t.unchanged, c.unchanged);
  Add(t.clear, c.clear);
  Add(t.invalid, c.invalid);
  Add(t.nested, c.nested);
  Add(t.restoreFail, c.restoreFail);
  return result;
}

}  // namespace driftglass
