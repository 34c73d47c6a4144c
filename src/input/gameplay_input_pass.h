#pragma once
// The host's gameplay input pass (cLuxInputHandler::UpdateGamePlayerInput) tells whether the
// look preview may run: only a smooth-off pass that read the mouse exactly once makes it live.

#include <cstdint>

#include "input/gameplay_input_frame.h"
#include "input/mouse_state.h"
#include "input/raw_input_tap.h"

namespace driftglass {

// The handler's mouse settings as the pass reads them (offsets 64, 65, 80).
struct InputHandlerSettings {
  uint8_t smoothing = 0;
  uint8_t invertY = 0;
  float sensitivity = 0.0f;
};
InputHandlerSettings ReadInputHandlerSettings(const void* handler);

// Before the host's pass: counts the handler's settings and resets this thread's frame.
void BeginGameplayInput(GameplayInputFrame& frame, const MouseState& mouse, MouseAudit& audit,
                        const InputHandlerSettings& settings);
// After the host's pass: counts how the mouse was read and publishes whether the preview is live.
// Returns that.
bool EndGameplayInput(GameplayInputFrame& frame, MouseState& mouse, MouseAudit& audit,
                      const InputHandlerSettings& settings, uint64_t currentTick);

}  // namespace driftglass
