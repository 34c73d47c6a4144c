#pragma once
// What one gameplay input pass did, kept per thread: the mouse read and camera taps fill it while
// the host's pass runs, and the pass's end reads it.

#include <cstdint>

namespace driftglass {

struct GameplayInputFrame {
  bool inGameplayInput = false;
  bool yawDequantized = false;
  bool pitchDequantized = false;
  bool invertY = false;
  bool previewEligible = false;
  uint32_t reads = 0;
  int32_t lastX = 0;
  int32_t lastY = 0;
  void* camera = nullptr;
  float sensitivity = 0.0f;
  uint32_t yawCount = 0;
  uint32_t pitchCount = 0;
  float yawSum = 0.0f;
  float pitchSum = 0.0f;
};

GameplayInputFrame& ThreadGameplayInputFrame();

}  // namespace driftglass
