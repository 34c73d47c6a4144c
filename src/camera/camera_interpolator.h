#pragma once
// Draws the main view's camera between the last two completed ticks: captures its pose after
// every tick, writes a blended pose (and raises three update flags) before every render, and
// puts the whole camera state back byte for byte after the render.

#include <cstdint>

#include "camera/camera_result.h"
#include "shared/camera_pose.h"
#include "timing/clock_sample.h"
#include "timing/snapshot_history.h"

namespace driftglass {

struct ViewIdentity {
  const void* viewport = nullptr;
  const void* world = nullptr;
  const void* camera = nullptr;

  bool operator==(const ViewIdentity&) const = default;
};

// Host layout of the camera state an apply saves and a restore writes back.
struct SavedCameraState {
  CameraPose pose;
  float limits[4] = {};
  uint8_t matrixBlocks[3][64] = {};
  uint8_t cachedBlock[1276] = {};
  uint8_t updateFlags[5] = {};
};

class CameraInterpolator {
 public:
  // cCamera::SetPosition, SetPitch, SetYaw, SetRoll; all must be resolved.
  void InitCamera(const uintptr_t setters[4]);
  uint32_t CaptureCamera(uint64_t tick, uint64_t clockGeneration);
  // tickSequence is the last completed tick, which stamps the frame's pose check.
  uint32_t ApplyCamera(void* scene, uint64_t tickSequence, const ClockSample& sample);
  bool RestoreCamera();
  bool GetSavedLogicPose(CameraPose& pose) const;
  bool ReadAppliedCameraPose(CameraPose& pose) const;
  // Turns the applied camera through the engine's own setters (limits kept).
  bool ApplyLookOffset(float pitchOffset, float yawOffset, CameraPose* before, CameraPose* after);
  // Writes the pitch and yaw read before a turn back through the same setters: a negated offset
  // would be inexact at the pitch limit and after a yaw rebase.
  bool UndoLookOffset(const CameraPose& before);

  bool applied() const { return applied_; }
  // The camera written this frame (null unless applied).
  const void* appliedCamera() const { return applied_ ? appliedCamera_ : nullptr; }

 private:
  void ForgetView();
  uint32_t AppendPose(uint64_t tick, uint64_t generation, const CameraPose& pose);
  bool WritePose(uint8_t* camera, const CameraPose& pose);
  bool RestoreInto(uint8_t* camera);
  void SetAppliedAngles(float pitch, float yaw);

  uintptr_t setters_[4] = {};
  CameraPoseHistory history_;
  ViewIdentity identity_;
  bool hasIdentity_ = false;
  void* scene_ = nullptr;
  uint8_t* appliedCamera_ = nullptr;
  SavedCameraState saved_;
  bool applied_ = false;
};

CameraInterpolator& ProcessCameraInterpolator();

// Where the engine keeps what the camera interpolation reads (scene, viewport and camera).
uint32_t ResolveView(const void* scene, ViewIdentity& view);
// One readable test covers the pose's fields.
bool ReadCameraPose(const void* camera, CameraPose& pose, float* limits);
bool ParseCameraPose(const uint8_t* camera, CameraPose& pose, float* limits);

}  // namespace driftglass
