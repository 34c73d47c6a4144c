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
  bool particles = false;
  bool mouseOverlay = false;
  bool motionTrace = false;
};

FrameSequenceSettings& ProcessFrameSequenceSettings();

}  // namespace driftglass
