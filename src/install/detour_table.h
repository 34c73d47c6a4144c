#pragma once
// Which engine function each detour step hooks, and with which of the plug-in's functions: the
// one place that names every feature's detours.

#include <cstdint>

namespace driftglass {

// The EngineMappings entry each step detours.
uint32_t DetourMapping(uint32_t step);
// The plug-in's detour function for each step.
void* DetourFunction(uint32_t step);

}  // namespace driftglass
