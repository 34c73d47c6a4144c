#include "camera/camera_interpolator.h"

#include <cmath>
#include <cstring>

#include "host/guarded_memory.h"
#include "measure/stage_meter.h"
#include "shared/process_object.h"

namespace driftglass {
namespace {

constexpr uintptr_t kSceneListener = 64;
constexpr uintptr_t kViewportVisible = 13;
constexpr uintptr_t kViewportCamera = 4;
constexpr uintptr_t kViewportWorld = 8;

constexpr uintptr_t kCameraPosition = 0;
constexpr uintptr_t kCameraAngles = 40;
constexpr uintptr_t kCameraBlocks = 76;
constexpr uintptr_t kCameraCached = 852;
constexpr uintptr_t kCameraFlags = 2128;
constexpr size_t kCameraWritableBytes = 2133;
constexpr uint32_t kSetPitch = 1;
constexpr uint32_t kSetYaw = 2;

// Angles, limits and the must-be-zero word, read in one piece.
struct CameraAngles {
  float pitch, yaw, roll;
  float limits[4];
  uint32_t mustBeZero;
};
static_assert(sizeof(CameraAngles) == 32);
constexpr size_t kCameraPoseBytes = kCameraAngles + sizeof(CameraAngles);

// The viewport's camera, world and visible flag, one record read at once.
constexpr uintptr_t kViewportFieldsBegin = kViewportCamera;
constexpr size_t kViewportFieldsBytes = kViewportVisible + 1 - kViewportCamera;

bool Finite(const CameraPose& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
         std::isfinite(p.pitch) && std::isfinite(p.yaw) && std::isfinite(p.roll);
}

bool SameBytes(const CameraPose& a, const CameraPose& b) { return memcmp(&a, &b, sizeof(a)) == 0; }

uint32_t MapAppend(uint32_t append) {
  switch (append) {
    case kAppendAppended:
    case kAppendUnchanged: return kCameraCaptured;
    case kAppendGeneration: return kCameraClockGenerationReset;
    case kAppendNonMonotonic: return kCameraNonMonotonicReset;
    case kAppendSameTickMutation: return kCameraSameTickMutation;
    case kAppendDiscontinuity: return kCameraDiscontinuityReset;
    default: return kCameraInvalidCamera;
  }
}

void WriteFloat(uint8_t* camera, uintptr_t offset, float value) {
  memcpy(camera + offset, &value, sizeof(value));
}

void WritePoseFields(uint8_t* camera, const CameraPose& pose) {
  WriteFloat(camera, kCameraPosition + 0, pose.x);
  WriteFloat(camera, kCameraPosition + 4, pose.y);
  WriteFloat(camera, kCameraPosition + 8, pose.z);
  WriteFloat(camera, kCameraAngles + 0, pose.pitch);
  WriteFloat(camera, kCameraAngles + 4, pose.yaw);
  WriteFloat(camera, kCameraAngles + 8, pose.roll);
}

}  // namespace

uint32_t ResolveView(const void* scene, ViewIdentity& view) {
  const void* viewport = nullptr;
  if (!ReadHostValue(scene, kSceneListener, viewport)) return kCameraInvalidViewport;
  if (viewport == nullptr) return kCameraNoCurrentListener;
  uint8_t fields[kViewportFieldsBytes];
  if (!ReadHostValue(viewport, kViewportFieldsBegin, fields)) return kCameraInvalidViewport;
  const auto field = [&fields](uintptr_t offset) { return fields + (offset - kViewportFieldsBegin); };
  const uint8_t visible = *field(kViewportVisible);
  if (visible > 1) return kCameraInvalidViewport;
  if (visible == 0) return kCameraListenerHidden;
  const void* camera = nullptr;
  memcpy(&camera, field(kViewportCamera), sizeof(camera));
  if (camera == nullptr) return kCameraListenerMissingCamera;
  const void* world = nullptr;
  memcpy(&world, field(kViewportWorld), sizeof(world));
  if (world == nullptr) return kCameraListenerMissingWorld;
  view = ViewIdentity{viewport, world, camera};
  return kCameraCaptured;
}

bool ReadCameraPose(const void* camera, CameraPose& pose, float* limits) {
  return camera != nullptr && IsRangeReadable(camera, kCameraPoseBytes) &&
         ParseCameraPose(static_cast<const uint8_t*>(camera), pose, limits);
}

// The pose from camera bytes already tested readable.
bool ParseCameraPose(const uint8_t* camera, CameraPose& pose, float* limits) {
  float position[3];
  CameraAngles angles;
  memcpy(position, camera + kCameraPosition, sizeof(position));
  memcpy(&angles, camera + kCameraAngles, sizeof(angles));
  if (angles.mustBeZero != 0) return false;
  for (float limit : angles.limits) {
    if (!std::isfinite(limit) || std::fabs(limit) > 1000.0f) return false;
  }
  const CameraPose read{position[0], position[1], position[2], angles.pitch, angles.yaw, angles.roll};
  if (!Finite(read)) return false;
  pose = read;
  if (limits != nullptr) memcpy(limits, angles.limits, sizeof(angles.limits));
  return true;
}

void CameraInterpolator::InitCamera(const uintptr_t setters[4]) {
  memcpy(setters_, setters, sizeof(setters_));
  history_.ClearHistory();
  identity_ = ViewIdentity{};
  hasIdentity_ = false;
  scene_ = nullptr;
  appliedCamera_ = nullptr;
  applied_ = false;
}

void CameraInterpolator::ForgetView() {
  history_.ClearHistory();
  hasIdentity_ = false;
}

uint32_t CameraInterpolator::AppendPose(uint64_t tick, uint64_t generation, const CameraPose& pose) {
  return MapAppend(history_.AppendSnapshot(tick, generation, pose));
}

uint32_t CameraInterpolator::CaptureCamera(uint64_t tick, uint64_t clockGeneration) {
  if (scene_ == nullptr) return kCameraNoScene;
  ViewIdentity view;
  const uint32_t resolved = ResolveView(scene_, view);
  if (resolved != kCameraCaptured) {
    ForgetView();
    return resolved;
  }
  CameraPose pose;
  if (!ReadCameraPose(view.camera, pose, nullptr)) {
    ForgetView();
    return kCameraInvalidCamera;
  }
  if (hasIdentity_ && view == identity_) return AppendPose(tick, clockGeneration, pose);
  identity_ = view;
  hasIdentity_ = true;
  history_.ClearHistory();
  history_.AppendSnapshot(tick, clockGeneration, pose);
  return kCameraIdentityChanged;
}

uint32_t CameraInterpolator::ApplyCamera(void* scene, uint64_t tickSequence, const ClockSample& sample) {
  if (applied_) return kCameraApplyFailed;
  scene_ = scene;
  ViewIdentity view;
  const uint32_t resolved = ResolveView(scene, view);
  if (resolved != kCameraCaptured) {
    ForgetView();
    return resolved;
  }
  CameraPose pose;
  if (!hasIdentity_ || !(view == identity_)) {
    identity_ = view;
    hasIdentity_ = true;
    history_.ClearHistory();
    if (!ReadCameraPose(view.camera, pose, nullptr)) return kCameraInvalidCamera;
    history_.AppendSnapshot(tickSequence, sample.generation, pose);
    return kCameraIdentityChanged;
  }
  if (!ReadCameraPose(view.camera, pose, nullptr)) {
    history_.ClearHistory();
    return kCameraInvalidCamera;
  }
  // Stamped with the last completed tick: the camera must still hold that tick's pose. (The
  // sample's currentTick is 0 whenever the frame is not interpolated.)
  const uint32_t checked = AppendPose(tickSequence, sample.generation, pose);
  if (checked != kCameraCaptured) return checked;

  CameraPose blended;
  switch (history_.PairSnapshots(sample, blended)) {
    case kPairApplied: break;
    case kPairSnapshotsMissing: return kCameraSnapshotsMissing;
    case kPairInvalid: return kCameraInvalidCamera;
    default: return kCameraClockUnavailable;  // clock unavailable or another generation
  }

  auto* camera = static_cast<uint8_t*>(const_cast<void*>(view.camera));
  // One writable test covers saving, writing and reading back: no host call comes between.
  if (!IsRangeWritable(camera, kCameraWritableBytes)) {
    return IsRangeReadable(camera, kCameraWritableBytes) ? kCameraApplyFailed : kCameraInvalidCamera;
  }
  if (!ParseCameraPose(camera, saved_.pose, saved_.limits)) return kCameraInvalidCamera;
  memcpy(saved_.matrixBlocks, camera + kCameraBlocks, sizeof(saved_.matrixBlocks));
  memcpy(saved_.cachedBlock, camera + kCameraCached, sizeof(saved_.cachedBlock));
  memcpy(saved_.updateFlags, camera + kCameraFlags, sizeof(saved_.updateFlags));
  appliedCamera_ = camera;
  if (WritePose(camera, blended)) {
    applied_ = true;
    return kCameraApplied;
  }
  RestoreInto(camera);
  appliedCamera_ = nullptr;
  return kCameraApplyFailed;
}

// The caller has tested the camera's bytes writable just before.
bool CameraInterpolator::WritePose(uint8_t* camera, const CameraPose& pose) {
  if (camera == nullptr || !Finite(pose)) return false;
  for (uintptr_t setter : setters_) {
    if (setter == 0) return false;
  }
  WritePoseFields(camera, pose);
  // Raising these makes the engine rebuild its cached view from the written pose.
  camera[kCameraFlags + 1] = 1;
  camera[kCameraFlags + 3] = 1;
  camera[kCameraFlags + 4] = 1;
  CameraPose written;
  return ParseCameraPose(camera, written, nullptr) && SameBytes(written, pose);
}

bool CameraInterpolator::RestoreInto(uint8_t* camera) {
  if (camera == nullptr || !IsRangeWritable(camera, kCameraWritableBytes)) return false;
  WritePoseFields(camera, saved_.pose);
  memcpy(camera + kCameraBlocks, saved_.matrixBlocks, sizeof(saved_.matrixBlocks));
  memcpy(camera + kCameraCached, saved_.cachedBlock, sizeof(saved_.cachedBlock));
  memcpy(camera + kCameraFlags, saved_.updateFlags, sizeof(saved_.updateFlags));
  CameraPose restored;
  return ParseCameraPose(camera, restored, nullptr) && SameBytes(restored, saved_.pose);
}

bool CameraInterpolator::RestoreCamera() {
  if (!applied_) return true;
  const bool restored = RestoreInto(appliedCamera_);
  applied_ = false;
  appliedCamera_ = nullptr;
  return restored;
}

bool CameraInterpolator::GetSavedLogicPose(CameraPose& pose) const {
  if (!applied_ || !Finite(saved_.pose)) return false;
  pose = saved_.pose;
  return true;
}

bool CameraInterpolator::ReadAppliedCameraPose(CameraPose& pose) const {
  return applied_ && ReadCameraPose(appliedCamera_, pose, nullptr);
}

bool CameraInterpolator::ApplyLookOffset(float pitchOffset, float yawOffset, CameraPose* before,
                                         CameraPose* after) {
  if (!applied_ || appliedCamera_ == nullptr || setters_[kSetPitch] == 0 || setters_[kSetYaw] == 0 ||
      !std::isfinite(pitchOffset) || !std::isfinite(yawOffset)) {
    return false;
  }
  CameraPose current;
  if (!ReadCameraPose(appliedCamera_, current, nullptr)) return false;
  if (before != nullptr) *before = current;
  float yaw = current.yaw + yawOffset;
  if (saved_.limits[2] != 0.0f || saved_.limits[3] != 0.0f) {
    // A limited yaw stays on the branch nearest the logic yaw.
    const float turn = 6.2831855f;
    yaw += std::round((saved_.pose.yaw - yaw) / turn) * turn;
  }
  if (!std::isfinite(yaw)) return false;
  SetAppliedAngles(current.pitch + pitchOffset, yaw);
  CameraPose turned;
  if (!ReadCameraPose(appliedCamera_, turned, nullptr)) return false;
  if (after != nullptr) *after = turned;
  return true;
}

// Through the engine's own setters, so its pitch limits hold.
void CameraInterpolator::SetAppliedAngles(float pitch, float yaw) {
  using Setter = void(__attribute__((thiscall))*)(void*, float);
  {
    HostCallScope call;
    reinterpret_cast<Setter>(setters_[kSetPitch])(appliedCamera_, pitch);
  }
  HostCallScope call;
  reinterpret_cast<Setter>(setters_[kSetYaw])(appliedCamera_, yaw);
}

bool CameraInterpolator::UndoLookOffset(const CameraPose& before) {
  if (!applied_ || appliedCamera_ == nullptr || setters_[kSetPitch] == 0 || setters_[kSetYaw] == 0) {
    return false;
  }
  SetAppliedAngles(before.pitch, before.yaw);
  CameraPose undone;
  return ReadCameraPose(appliedCamera_, undone, nullptr) && undone.pitch == before.pitch &&
         undone.yaw == before.yaw;
}

CameraInterpolator& ProcessCameraInterpolator() {
  static ZeroedRoom<CameraInterpolator> room;
  static CameraInterpolator& interpolator = room.Build();
  return interpolator;
}

}  // namespace driftglass
