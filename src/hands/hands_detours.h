#pragma once
// The detours through which the hands interpolators see the engine: the hands' own update, where
// each logic step's hands are staged, and the renderer's request for a sub-mesh's model matrix,
// where corrected matrices are handed out (the hands first, then the world roots).

#include "host/hook_slots.h"

namespace driftglass {

void DRIFTGLASS_THISCALL HandsPostUpdateDetour(void* hands, float dt);
const float* DRIFTGLASS_THISCALL GetModelMatrixDetour(void* subMesh, void* camera);

}  // namespace driftglass
