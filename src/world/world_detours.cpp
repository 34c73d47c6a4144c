#include "world/world_detours.h"

#include "measure/stage_meter.h"
#include "shared/frame_sequence_settings.h"
#include "world/world_root_interpolator.h"

namespace driftglass {

WorldDetourSettings& ProcessWorldDetourSettings() {
  static WorldDetourSettings settings;
  return settings;
}

void TransformCallbackDetour(void* body, const float* matrix, int32_t threadIndex) {
  Original<void (*)(void*, const float*, int32_t)>(kDetourTransformCallback)(body, matrix, threadIndex);
  StageScope stage(kStageTransformCallback);
  const uintptr_t getUserData = ProcessWorldDetourSettings().newtonBodyGetUserData;
  if (!ProcessFrameSequenceSettings().worldRoot || getUserData == 0) return;
  void* userData;
  {
    HostCallScope call;
    userData = reinterpret_cast<void* (*)(const void*)>(getUserData)(body);
  }
  ProcessWorldRootInterpolator().NoteMovedBody(userData);
}

}  // namespace driftglass
