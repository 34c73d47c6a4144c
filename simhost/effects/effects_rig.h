#pragma once
// Particle emitters and the image-trail post effect, laid out at the engine's offsets. Particles
// spawn, move and die at the fixed step, keeping their position at the current and the previous
// tick; the renderer has each emitter build its vertices from the current positions (once inside
// cScene::Render and once more for a second viewport outside it) and records where it drew a
// tracked particle. The image trail gives each newly drawn frame the weight
// exp(-amount x 0.015 / T), T being the render interval it reads, and the game records it.

#include <cstdint>

#include "scenarios/scenario.h"
#include "truth/frame_truth.h"

class HostRecord;
class LogicDigest;

class EffectsRig {
 public:
  void Init(const Scenario& scenario, HostRecord* record);
  void Step(uint32_t tick, float dt);  // the particles' fixed step

  void BeforeRender(const FrameTruth& truth, uint32_t completedTicks, double frameInterval);
  void Draw();                 // inside the engine's render
  void AfterRender();          // after it: the second viewport and the checks
  const char* FrameFields() const { return fields_; }
  // The particles' logic after a step: every emitter's particles, in order, its live count and the
  // array the engine walks (by pool index), and the trail's gameplay amount.
  void DigestLogic(LogicDigest& digest) const;

  // The engine's own work behind the entry points.
  uint8_t EmitterUpdateGraphics(void* emitter);
  uint32_t ImageTrailRenderEffect(void* effect);

 private:
  void Check(const char* name, bool ok, const char* detail);

  const Scenario* scenario_ = nullptr;
  HostRecord* record_ = nullptr;
  FrameTruth truth_{};
  uint32_t completedTicks_ = 0;
  double stepSeconds_ = 1.0 / 60.0;
  char fields_[256] = {};
};

EffectsRig& Effects();
