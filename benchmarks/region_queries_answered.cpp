// Linked in place of the plug-in's region queries for world_cost_benchmark_unqueried only: every
// range is readable and writable without asking the system, so the benchmark shows what the
// world roots' own work costs when no system call between two steps empties the caches. Never
// part of the plug-in, whose every host access asks first.
#include "host/guarded_memory.h"

namespace driftglass {

bool IsRangeAccessible(const void* address, size_t length, uint32_t) {
  return address != nullptr && length != 0;
}
bool IsRangeReadable(const void* address, size_t length) { return address != nullptr && length != 0; }
bool IsRangeWritable(const void* address, size_t length) { return address != nullptr && length != 0; }
bool IsSpanReadable(const void* address, size_t length) { return address != nullptr && length != 0; }
size_t ReadableBytesInRegion(const void* address) { return address != nullptr ? 4096 : 0; }
bool IsExecutableTarget(const void* address) { return address != nullptr; }
bool IsCommittedExecutableTarget(const void* address) { return address != nullptr; }

}  // namespace driftglass
