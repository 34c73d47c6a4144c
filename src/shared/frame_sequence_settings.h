#pragma once

#include <cstdint>

namespace driftglass {

// What the tick and frame detours do, published by the installer before they are enabled.
struct FrameSequenceSettings {
  bool camera = false;
  bool handsRoot = false;
  bool worldRoot = false;
  bool handsPose = false;
  bool worldPose = false;
  bool ragdollPose = false;
  bool particles = false;
  bool mouseOverlay = false;
  bool motionTrace = false;
  bool presentationLimiter = false;  // only with the render unlock
  uint32_t targetFps = 0;            // 0: the display's refresh rate
};

FrameSequenceSettings& ProcessFrameSequenceSettings();

}  // namespace driftglass
