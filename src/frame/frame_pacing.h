#pragma once
// The presentation limiter's place in the frame: after the engine's post-render message, while
// the render unlock is active, the loop waits for the next frame's deadline at TargetFPS or, with
// TargetFPS 0, at the refresh rate of the display showing the game. The next frame's one time
// reading comes after the wait and after the ticks that came due during it.

#include "timing/frame_pacer.h"

namespace driftglass {

PacerCounts PaceFrameNow();

}  // namespace driftglass
