#include "host/hook_slots.h"

namespace driftglass {
namespace {

HookSlot gSlots[kDetourStepCount];

}  // namespace

HookSlot& DetourSlot(uint32_t step) { return gSlots[step < kDetourStepCount ? step : 0]; }

}  // namespace driftglass
