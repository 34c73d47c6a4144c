#include "input/mouse_state.h"

#include "input/gameplay_input_frame.h"
#include "input/mouse_arithmetic.h"

namespace driftglass {
namespace {
thread_local GameplayInputFrame t_frame;
}  // namespace

MouseState& ProcessMouseState() {
  static MouseState state;
  return state;
}

GameplayInputFrame& ThreadGameplayInputFrame() { return t_frame; }

bool IsPreviewLive(const MouseState& state, uint64_t currentTick) {
  return IsPreviewLive(state.mouseOverlay, state.gameplayLive.load(), state.gameplayInputTick.load(),
                       currentTick);
}

}  // namespace driftglass
