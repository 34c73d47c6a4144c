#pragma once
// The world's skinned meshes: Grunts whose bones follow a fixed-step animation clock and ragdolls
// whose bones follow their physics bodies. Like the engine, cMeshEntity::UpdateGraphicsForFrame
// computes a mesh's bone palette once per logic step; the renderer calls it for every skinned mesh
// it draws and reads the palette. The game keeps each target's palettes of the last two ticks, so
// it knows what a blend at its own fraction must draw, and checks after every render that each
// palette is the engine's own again.

#include <cstdint>
#include <vector>

#include "truth/frame_truth.h"

class HostRecord;
class LogicDigest;

class SkinnedMeshes {
 public:
  void Init(HostRecord* record) { record_ = record; }
  void SetJudging(bool judge) { judge_ = judge; }
  void AddGrunt(uint8_t* mesh, uint32_t bones);
  void AddRagdoll(uint8_t* mesh, const std::vector<uint8_t*>& bodies);

  // A Grunt's own update advanced its animation by one step.
  void Advance(const void* mesh);
  // Another Grunt now owns the mesh, in another pose: from tick `tick` its palette is new, and no
  // frame may show it blended with the old one's.
  void Recreate(const void* mesh, uint32_t tick);
  // A mesh's bone count changes for good (the animation asset was swapped).
  void SetBones(const void* mesh, uint32_t bones);
  // After the step's physics and updates: each target's palette of tick `tick`.
  void EndStep(uint32_t tick);
  // cMeshEntity::UpdateGraphicsForFrame's own work; false when the mesh is not skinned here.
  bool UpdateGraphicsForFrame(const void* mesh);

  void BeforeRender(const FrameTruth& truth, uint32_t completedTicks);
  // The renderer's part for one skinned mesh it draws (through the engine's entry point).
  void Draw(const void* mesh);
  // Makes a Grunt's palette read-only for this render (the plug-in then cannot put it back).
  void ProtectForThisRender(const void* mesh);
  void AfterRender();
  // The logic's part after step `tick`: each target's animation clock, bones and the step's palette.
  void DigestLogic(LogicDigest& digest, uint32_t tick) const;

  // The largest distance of a drawn palette element from the blend at the game's fraction, and
  // how many targets were drawn blended this frame.
  double worstError() const { return worst_; }
  int blended() const { return blended_; }
  double boneTicks() const { return boneTicks_; }

  struct Target;

 private:
  Target* Find(const void* mesh);
  void Compute(const Target& target, float* out, uint32_t tickIndex) const;

  HostRecord* record_ = nullptr;
  bool judge_ = true;
  std::vector<Target*> targets_;
  FrameTruth truth_{};
  uint32_t completedTicks_ = 0;
  double worst_ = 0;
  int blended_ = 0;
  double boneTicks_ = 0;
};

SkinnedMeshes& Skins();
