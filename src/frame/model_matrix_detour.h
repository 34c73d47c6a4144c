#pragma once
// The renderer's request for a sub-mesh's model matrix, where corrected matrices are handed out:
// the hands answer first, then the world roots.

#include "host/hook_slots.h"

namespace driftglass {

const float* DRIFTGLASS_THISCALL GetModelMatrixDetour(void* subMesh, void* camera);

}  // namespace driftglass
