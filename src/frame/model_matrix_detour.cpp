#include "frame/model_matrix_detour.h"

#include <cstdint>

#include "hands/hands_counting.h"
#include "hands/hands_root_interpolator.h"
#include "measure/stage_meter.h"
#include "shared/frame_sequence_settings.h"
#include "world/world_counting.h"
#include "world/world_root_interpolator.h"

namespace driftglass {

const float* DRIFTGLASS_THISCALL GetModelMatrixDetour(void* subMesh, void* camera) {
  const float* const hostMatrix =
      Original<const float*(DRIFTGLASS_THISCALL*)(void*, void*)>(kDetourGetModelMatrix)(subMesh, camera);
  StageScope stage(kStageModelMatrix);
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
