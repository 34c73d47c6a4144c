#pragma once
// The listener view the game renders: two viewports, two cameras, scripted camera motion and
// events, a renderer that caches view matrices, and the checks that nothing the plug-in wrote
// for a render survives it or reaches the game logic.

#include <cstdint>

#include "engine/engine_objects.h"
#include "scenarios/scenario.h"
#include "scenarios/scenario_events.h"

class HostRecord;
class LogicDigest;

constexpr size_t kCameraCheckedBytes = 2133;  // offsets 0 to 2132
constexpr float kPitchLimit = 1.5f;           // every camera's pitch stays within +-this

// The renderer's view of the camera: rebuilds the cached blocks from the pose when an update
// flag is raised, then clears the flags. Applied to real cameras and to copies alike.
void RenderCameraCache(uint8_t* cameraBytes);

struct DrawnPose {
  float x, y, z, pitch, yaw, roll;
};

struct ViewAngles {
  float pitch, yaw;
};

class CameraRig {
 public:
  void Init(const Scenario& scenario, cScene* scene, HostRecord* record);

  // Inside a fixed logic step, before the step's own work: checks that the camera is what the
  // previous step left, applies the script's events and works out the step's pose. tick counts
  // from 1.
  void Step(uint32_t tick);
  // The camera the player turns: with the mouse look the view's own, else none of the rig's.
  cCamera* PlayerCamera(cCamera* own) const;
  // After the gameplay pass: with the mouse look the angles the pass turned the view's camera to
  // become the step's, and the camera shows the previous step's again until the step ends.
  void TakeLook();
  // In the engine's own handling of the message that ends the step: only now does the camera
  // take the step's pose, so state read before that handling is the previous step's.
  void FinishStep();
  // After the logic, before the render call: between-tick events, snapshot for the checks.
  void BeforeRender(uint32_t completedTicks);
  // Inside the engine's render.
  void Draw();
  // After the render call returns.
  void AfterRender();

  const DrawnPose& drawn() const { return drawn_; }
  bool drewView() const { return drewView_; }  // false: the view was hidden, drawn() is older
  // The view's angles after the latest completed step, as the game itself set them.
  const ViewAngles& view() const { return view_; }
  // Whether anything wrote the rendered camera between the game's last look before the render
  // and the renderer's first (from the memory's own write log, not from comparing bytes).
  bool pluginWrote() const { return pluginWrote_; }
  const cCamera& logicCamera() const { return *Current(); }
  uint32_t checks() const { return checks_; }
  // The simulation time, in ticks, of the pose the renderer drew: the logic pose belongs to
  // completedTicks, and the script's motion per tick converts the drawn offset from it.
  double DrawnSimulationTicks(uint32_t completedTicks) const;
  // The same for the drawn roll, from where it lies between the last two ticks' rolls, and how far
  // the roll turned between them (0: the completed tick's time).
  double DrawnRollTicks(uint32_t completedTicks) const;
  float RollStep() const;
  // The camera's logic after a step: its pose, limits and view, and the script's state; the pitch
  // and yaw go to the look's part.
  void DigestLogic(LogicDigest& digest) const;
  // The pose the current logic step gives the camera (final only at the step's end).
  void StepPose(float position[3], float& yaw) const {
    for (int i = 0; i < 3; ++i) position[i] = stepPose_.position[i];
    yaw = stepPose_.yaw;
  }

 private:
  cCamera* Current() const;
  void ApplyEvents(uint32_t tick);
  float RollAt(uint32_t tick);
  void SetPose(cCamera* camera, const float position[3], float pitch, float yaw, float roll);
  void Check(const char* name, bool ok, const char* detail);
  bool CameraPageWritten() const;

  const Scenario* scenario_ = nullptr;
  cScene* scene_ = nullptr;
  HostRecord* record_ = nullptr;
  uint8_t expected_[kCameraCheckedBytes] = {};
  bool expectedValid_ = false;
  uint8_t beforeRender_[kCameraCheckedBytes] = {};
  cCamera* renderedCamera_ = nullptr;
  DrawnPose drawn_{};
  bool drewView_ = false;
  ViewAngles view_{};
  uint8_t heldBack_[kCameraCheckedBytes] = {};  // the view's camera while the pass turns it
  bool pluginWrote_ = false;
  uint32_t checks_ = 0;
  float offsetX_ = 0.0f;  // teleports shift the scripted path
  EventCursor betweenMoves_;
  EventCursor leans_;
  struct Lean {
    uint32_t tick, duration;
  } leaning_[4] = {};  // the leans under way, at most four at once
  float rollTurned_ = 0.0f;  // what the roll turns so far added
  float tickRolls_[2] = {};  // the rolls of the last two completed ticks, older first
  struct {
    float position[3];
    float pitch;
    float yaw;
    float roll;
  } stepPose_ = {};
  bool stepPending_ = false;
  DrawnPose logicBeforeRender_{};
};

CameraRig& Rig();
