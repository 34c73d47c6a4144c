#include "frame/object_update_detours.h"

#include <cstdint>

#include "measure/stage_meter.h"
#include "poses/enemy_pose_interpolator.h"
#include "poses/pose_counting.h"
#include "shared/frame_sequence_settings.h"
#include "shared/live_settings.h"
#include "timing/tick_sequence.h"
#include "world/world_counting.h"
#include "world/world_root_interpolator.h"

namespace driftglass {

void DRIFTGLASS_THISCALL PropOnUpdateDetour(void* prop, float dt) {
  Original<void(DRIFTGLASS_THISCALL*)(void*, float)>(kDetourPropOnUpdate)(prop, dt);
  StageScope stage(kStagePropUpdate);
  if (!ProcessFrameSequenceSettings().worldRoot) return;
  WorldPropInfo info;
  // Staged for the tick being computed, which completes as the next TickSequence.
  const uint64_t tick = ProcessTickSequence().load() + 1;
  const uint32_t result = ProcessWorldRootInterpolator().StageProp(prop, tick, info);
  CountWorldStage(result);
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  // A ragdoll the INI turned off is left to the engine; it starts over two ticks after it is back.
  if (settings.worldPose && ProcessAppliedSettings().Drawn(kSettingRagdollPoseInterpolation) && result == kWorldStagedProp &&
      info.valid &&
      info.bodyCount >= 2) {
    CountEnemyPoseStage(ProcessEnemyPoseInterpolator().StageRagdoll(prop, info.mesh, info.ownerWord,
                                                                    info.bodyCount, info.allAsleep, tick));
  }
}

void DRIFTGLASS_THISCALL EnemyOnUpdateDetour(void* enemy, float dt) {
  Original<void(DRIFTGLASS_THISCALL*)(void*, float)>(kDetourEnemyOnUpdate)(enemy, dt);
  StageScope stage(kStageEnemyUpdate);
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  const uint64_t tick = ProcessTickSequence().load() + 1;
  if (settings.worldRoot) CountWorldStage(ProcessWorldRootInterpolator().StageGrunt(enemy, tick));
  if (settings.worldPose) CountEnemyPoseStage(ProcessEnemyPoseInterpolator().StageEnemy(enemy, tick));
}

}  // namespace driftglass
