#pragma once
// The player's first-person hands, the two objects they can hold with their attached billboards,
// particle systems and lights, and the hand animation's bone palette: laid out at the engine's
// offsets, moved once per logic step (following the step's camera pose), drawn by the renderer
// through the engine's entry points, and checked against what the game itself knows: every
// render-time write is undone, no logic step sees one, and what was drawn is where the game's own
// clock puts the frame.

#include <cstdint>

#include "scenarios/scenario.h"
#include "scenarios/scenario_events.h"
#include "truth/frame_truth.h"
#include "truth/yaw_transform.h"

class HostRecord;
class LogicDigest;


class HandsRig {
 public:
  void Init(const Scenario& scenario, HostRecord* record);

  void* hands() const;
  void* handsMesh() const;

  // cLuxPlayerHands::PostUpdate's own work for logic step `tick`, given the step's camera pose.
  void PostUpdate(uint32_t tick, const YawTransform& camera);
  // cMeshEntity::UpdateGraphicsForFrame's own work: the palette of the current animation state,
  // computed once per logic step like the engine's.
  void UpdateGraphicsForFrame(void* mesh);

  // Around the engine's render: the frame's truth and a snapshot for the checks; the drawing
  // inside it; the checks after it.
  void BeforeRender(const FrameTruth& truth, uint32_t completedTicks);
  void Draw(const YawTransform& drawnCamera);
  void AfterRender();

  // Appended to the game's frame record line.
  const char* FrameFields() const { return fields_; }
  // The hands' logic after a step: the step's state and every transform it wrote (the palette in
  // the mesh is computed when a render asks for it, so the step's animation clock stands for it).
  void DigestLogic(LogicDigest& digest) const;

  struct TickState;

 private:
  void ApplyEvents(uint32_t tick);
  void WriteState(const TickState& state);
  bool CheckOwnState(const char* when);
  void Check(const char* name, bool ok, const char* detail);

  const Scenario* scenario_ = nullptr;
  HostRecord* record_ = nullptr;
  FrameTruth truth_{};
  uint32_t completedTicks_ = 0;
  bool readOnlyThisFrame_ = false;
  EventCursor readOnlyEvents_;  // each read-only event takes one render
  char fields_[512] = {};
};

HandsRig& Hands();
