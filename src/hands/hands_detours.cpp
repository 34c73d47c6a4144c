#include "hands/hands_detours.h"

#include <cstdint>

#include "hands/hands_counting.h"
#include "hands/hands_pose_interpolator.h"
#include "hands/hands_root_interpolator.h"
#include "measure/stage_meter.h"
#include "shared/frame_sequence_settings.h"
#include "timing/tick_sequence.h"

namespace driftglass {

void DRIFTGLASS_THISCALL HandsPostUpdateDetour(void* hands, float dt) {
  Original<void(DRIFTGLASS_THISCALL*)(void*, float)>(kDetourHandsPostUpdate)(hands, dt);
  StageScope stage(kStageHandsUpdate);
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  if (settings.handsRoot) CountHandsRootResult(ProcessHandsRootInterpolator().Stage(hands));
  if (settings.handsPose) {
    // Staged for the tick being computed, which completes as the next TickSequence.
    const uint64_t tick = ProcessTickSequence().load() + 1;
    CountHandsPoseStage(ProcessHandsPoseInterpolator().Stage(hands, tick));
  }
}
}  // namespace driftglass
