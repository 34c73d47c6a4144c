#include "effects/effects_detours.h"

#include "diag/telemetry_counters.h"
#include "effects/image_trail_timing.h"
#include "effects/particle_positions.h"
#include "shared/compare_switch.h"
#include "shared/live_settings.h"

namespace driftglass {

uint8_t DRIFTGLASS_THISCALL EmitterUpdateGraphicsDetour(void* emitter, void* frustum, float frameTime) {
  const auto original = Original<EmitterUpdateFunction>(kDetourEmitterUpdateGraphics);
  if (ProcessCompareSwitch().correctionsOff || !ProcessAppliedSettings().Drawn(kSettingParticleInterpolation)) {
    ProcessTelemetry().particles.calls.fetch_add(1);
    return original(emitter, frustum, frameTime);  // the engine's own positions
  }
  ParticleCounts c;
  const uint8_t result = UpdateEmitterBetweenTicks(emitter, frustum, frameTime, original, c);
  ParticlesTelemetry<LiveTelemetrySlots>& p = ProcessTelemetry().particles;
  AddCount(p.calls, c.calls);
  AddCount(p.emitters, c.emitters);
  AddCount(p.positions, c.positions);
  AddCount(p.inactive, c.inactive);
  AddCount(p.invalid, c.invalid);
  AddCount(p.capacity, c.capacity);
  return result;
}

uint32_t DRIFTGLASS_THISCALL ImageTrailRenderEffectDetour(void* effect, void* input, void* output) {
  const auto original = Original<ImageTrailFunction>(kDetourImageTrailRenderEffect);
  if (ProcessCompareSwitch().correctionsOff || !ProcessAppliedSettings().Drawn(kSettingImageTrailTiming)) {
    ProcessTelemetry().imageTrail.calls.fetch_add(1);
    return original(effect, input, output);  // the stock decay, as the game draws it
  }
  ImageTrailCounts c;
  const uint32_t result = RenderImageTrailAtFrameRate(effect, input, output, original, c);
  ImageTrailTelemetry<LiveTelemetrySlots>& t = ProcessTelemetry().imageTrail;
  AddCount(t.calls, c.calls);
  AddCount(t.adjusted, c.adjusted);
  AddCount(t.unchanged, c.unchanged);
  AddCount(t.clear, c.clear);
  AddCount(t.invalid, c.invalid);
  AddCount(t.nested, c.nested);
  AddCount(t.restoreFail, c.restoreFail);
  return result;
}

}  // namespace driftglass
