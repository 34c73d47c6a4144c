#include "timing/wall_clock.h"

#include <windows.h>

namespace driftglass {

int64_t& ProcessCounterFrequency() {
  static int64_t frequency = 0;
  return frequency;
}

double WallSecondsAt(int64_t counter) {
  const int64_t frequency = ProcessCounterFrequency();
  return frequency > 0 ? static_cast<double>(counter) / static_cast<double>(frequency) : 0.0;
}

double WallSeconds() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return WallSecondsAt(counter.QuadPart);
}

}  // namespace driftglass
