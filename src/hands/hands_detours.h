#pragma once
// The hands' own update, where each logic step's hands root and pose are staged.

#include "host/hook_slots.h"

namespace driftglass {

void DRIFTGLASS_THISCALL HandsPostUpdateDetour(void* hands, float dt);

}  // namespace driftglass
