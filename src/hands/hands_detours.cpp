#include "hands/hands_detours.h"

#include <cstdint>

#include "hands/hands_pose_interpolator.h"
#include "hands/hands_root_interpolator.h"
#include "world/world_root_interpolator.h"
#include "shared/frame_sequence_settings.h"
#include "hands/hands_counting.h"
#include "timing/tick_sequence.h"
#include "world/world_counting.h"

namespace driftglass {

void DRIFTGLASS_THISCALL HandsPostUpdateDetour(void* hands, float dt) {
  Original<void(DRIFTGLASS_THISCALL*)(void*, float)>(kDetourHandsPostUpdate)(hands, dt);
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  if (settings.handsRoot) CountHandsRootResult(ProcessHandsRootInterpolator().Stage(hands));
  if (settings.handsPose) {
    // Staged for the tick being computed, which completes as the next TickSequence.
    const uint64_t tick = ProcessTickSequence().load() + 1;
    CountHandsPoseStage(ProcessHandsPoseInterpolator().Stage(hands, tick));
  }
}

const float* DRIFTGLASS_THISCALL GetModelMatrixDetour(void* subMesh, void* camera) {
  const float* const hostMatrix =
      Original<const float*(DRIFTGLASS_THISCALL*)(void*, void*)>(kDetourGetModelMatrix)(subMesh, camera);
  const float* result = hostMatrix;
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  uint32_t handsResult = kHandsModelNotHands;
  if (settings.handsRoot) {
    handsResult = ProcessHandsRootInterpolator().ModelMatrix(subMesh, hostMatrix, result);
    CountHandsModelResult(handsResult);
  }
  if (handsResult == kHandsModelNotHands && settings.worldRoot) {
    uint32_t diagnostic = 0;
    const uint32_t worldResult =
        ProcessWorldRootInterpolator().ModelMatrix(subMesh, hostMatrix, result, diagnostic);
    CountWorldModel(worldResult, diagnostic);
  }
  return result;
}

}  // namespace driftglass
