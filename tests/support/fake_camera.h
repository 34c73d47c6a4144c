#pragma once
// A scene, its listener viewport and a camera laid out as the engine's, with pitch and yaw setters
// that write the camera as the engine's do, for tests that apply the camera interpolator.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "camera/camera_interpolator.h"

namespace driftglass {
namespace test {

// Scene, listener viewport and camera laid out as the engine's.
struct View {
  alignas(16) uint8_t scene[128] = {};
  alignas(16) uint8_t viewport[32] = {};
  // On a page of its own, so that a test can take away write access.
  uint8_t* const camera = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  uint8_t world[16] = {};

  View() {
    Put(scene, 64, static_cast<void*>(viewport));
    Put(viewport, 4, static_cast<void*>(camera));
    Put(viewport, 8, static_cast<void*>(world));
    viewport[13] = 1;
    for (size_t i = 76; i < 2128; ++i) camera[i] = static_cast<uint8_t>(i * 13);
    SetPose(0, 0, 0, 0, 0);
  }
  template <typename T>
  static void Put(uint8_t* object, size_t offset, T value) {
    memcpy(object + offset, &value, sizeof(value));
  }
  void SetPose(float x, float pitch, float yaw, float y = 1.5f, float roll = 0) {
    Put(camera, 0, x);
    Put(camera, 4, y);
    Put(camera, 8, 0.0f);
    Put(camera, 40, pitch);
    Put(camera, 44, yaw);
    Put(camera, 48, roll);
  }
  ~View() { VirtualFree(camera, 0, MEM_RELEASE); }
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  void Protect(DWORD protection) {
    DWORD previous;
    ASSERT_TRUE(VirtualProtect(camera, 4096, protection, &previous));
  }
  float Get(size_t offset) const {
    float value;
    memcpy(&value, camera + offset, 4);
    return value;
  }
};

inline void __attribute__((thiscall)) SetPitch(void* camera, float pitch) {
  memcpy(static_cast<uint8_t*>(camera) + 40, &pitch, 4);
}
inline void __attribute__((thiscall)) SetYaw(void* camera, float yaw) {
  memcpy(static_cast<uint8_t*>(camera) + 44, &yaw, 4);
}

inline ClockSample Interpolated(uint64_t previous, double alpha, uint64_t generation = 0) {
  ClockSample s;
  s.kind = kSampleInterpolated;
  s.previousTick = previous;
  s.currentTick = previous + 1;
  s.alpha = alpha;
  s.generation = generation;
  return s;
}

inline CameraInterpolator FreshCamera() {
  CameraInterpolator camera;
  const uintptr_t setters[4] = {1, reinterpret_cast<uintptr_t>(&SetPitch),
                                reinterpret_cast<uintptr_t>(&SetYaw), 1};
  camera.InitCamera(setters);
  return camera;
}

}  // namespace test
}  // namespace driftglass
