#pragma once

#include <cstdint>

namespace driftglass {

// The performance-counter frequency, read once by the installer.
int64_t& ProcessCounterFrequency();

// The plug-in's wall clock: the performance counter divided by its frequency, in seconds.
double WallSeconds();
double WallSecondsAt(int64_t counter);

}  // namespace driftglass
