#pragma once
// The game's dynamic world: physics bodies integrated by the stand-in Newton DLL on its worker
// threads (which report every moved body through the engine's transform callback), props that
// own one or several bodies, bodies no prop owns, Grunts and another kind of enemy, with their
// meshes, sub-meshes and world-matrix caches laid out at the engine's offsets. The renderer draws
// every sub-mesh with the matrix cSubMeshEntity::GetModelMatrix returns; the game records how far
// what it drew for the objects it tracks is from where its own clock puts them, and checks that
// physics and the engine's transforms are only ever what the simulation made of them.

#include <cstdint>

#include "scenarios/scenario.h"
#include "truth/frame_truth.h"

class HostRecord;
class LogicDigest;

class WorldRig {
 public:
  void Init(const Scenario& scenario, HostRecord* record, double stepSeconds);

  // One logic step: physics, then the props' and enemies' own updates through the engine's entry
  // points, then the transform tree.
  void Step(uint32_t tick);

  void BeforeRender(const FrameTruth& truth, uint32_t completedTicks);
  void Draw();
  void AfterRender();

  const char* FrameFields() const { return fields_; }
  // The world's logic after step `tick`: bodies, entities, enemies, poses and the world's state.
  void DigestLogic(LogicDigest& digest, uint32_t tick) const;

  // The engine's own work behind the entry points.
  void BodyTransformChanged(void* body);
  void PropOnUpdate(void* prop);
  void EnemyOnUpdate(void* enemy, float dt);

 private:
  void Check(const char* name, bool ok, const char* detail);
  void ApplyEvents(uint32_t tick);
  void UpdateTransformTree();

  const Scenario* scenario_ = nullptr;
  HostRecord* record_ = nullptr;
  double stepSeconds_ = 1.0 / 60.0;
  FrameTruth truth_{};
  uint32_t completedTicks_ = 0;
  char fields_[256] = {};
};

WorldRig& World3D();
