#include "input/gameplay_input_pass.h"

#include <cstring>

namespace driftglass {
namespace {

constexpr size_t kSmoothingOffset = 64;
constexpr size_t kInvertOffset = 65;
constexpr size_t kSensitivityOffset = 80;

}  // namespace

InputHandlerSettings ReadInputHandlerSettings(const void* handler) {
  const uint8_t* bytes = static_cast<const uint8_t*>(handler);
  InputHandlerSettings settings;
  settings.smoothing = bytes[kSmoothingOffset];
  settings.invertY = bytes[kInvertOffset];
  memcpy(&settings.sensitivity, bytes + kSensitivityOffset, sizeof(float));
  return settings;
}

void BeginGameplayInput(GameplayInputFrame& frame, const MouseState& mouse, MouseAudit& audit,
                        const InputHandlerSettings& settings) {
  const float sens = settings.sensitivity;
  if (settings.smoothing > 1 || settings.invertY > 1 || !(sens > 0.0f && sens <= 100.0f)) {
    audit.invalid.fetch_add(1);
  }
  if (settings.smoothing == 0) audit.smoothOff.fetch_add(1);
  if (settings.smoothing == 1) audit.smoothOn.fetch_add(1);
  frame.reads = 0;
  frame.lastX = frame.lastY = 0;
  frame.camera = nullptr;
  frame.yawCount = frame.pitchCount = 0;
  frame.yawSum = frame.pitchSum = 0.0f;
  frame.sensitivity = sens;
  frame.invertY = settings.invertY != 0;
  frame.previewEligible = mouse.mouseOverlay && settings.smoothing == 0;
  frame.yawDequantized = frame.pitchDequantized = false;
  frame.inGameplayInput = true;
}

bool EndGameplayInput(GameplayInputFrame& frame, MouseState& mouse, MouseAudit& audit,
                      const InputHandlerSettings& settings, uint64_t currentTick) {
  frame.inGameplayInput = false;
  if (frame.reads == 0) audit.earlyExit.fetch_add(1);
  if (frame.reads > 1) audit.multiRead.fetch_add(1);
  const bool live = settings.smoothing == 0 && frame.reads == 1;
  mouse.gameplayLive.store(live);
  mouse.gameplayInputTick.store(currentTick);
  return live;
}

}  // namespace driftglass
