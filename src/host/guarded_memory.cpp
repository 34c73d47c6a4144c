#include "host/guarded_memory.h"

#include "measure/stage_meter.h"
#include <windows.h>


namespace driftglass {
namespace {

bool QueryRegion(const void* address, MEMORY_BASIC_INFORMATION& info) {
  bool answered;
  {
    RegionQueryScope timed;
    answered = VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
  }
  NoteRegionQuery(answered ? info.BaseAddress : nullptr);
  return answered;
}

bool HasUsableProtection(const MEMORY_BASIC_INFORMATION& info, uint32_t mask) {
  return info.State == MEM_COMMIT && (info.Protect & kExcludedProtections) == 0 &&
         (info.Protect & mask) != 0;
}

}  // namespace

bool IsRangeAccessible(const void* address, size_t length, uint32_t mask) {
  if (address == nullptr || length == 0) return false;
  MEMORY_BASIC_INFORMATION info;
  if (!QueryRegion(address, info) || !HasUsableProtection(info, mask)) return false;
  const uintptr_t base = reinterpret_cast<uintptr_t>(info.BaseAddress);
  const uintptr_t start = reinterpret_cast<uintptr_t>(address);
  const uint64_t regionEnd = uint64_t{base} + info.RegionSize;
  return base <= start && start <= regionEnd && length <= regionEnd - start;
}

bool IsRangeReadable(const void* address, size_t length) {
  return IsRangeAccessible(address, length, kReadableProtections);
}

bool IsRangeWritable(const void* address, size_t length) {
  return IsRangeAccessible(address, length, kWritableProtections);
}

size_t ReadableBytesInRegion(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (address == nullptr || !QueryRegion(address, info) ||
      !HasUsableProtection(info, kReadableProtections)) {
    return 0;
  }
  const uint64_t regionEnd =
      uint64_t{reinterpret_cast<uintptr_t>(info.BaseAddress)} + info.RegionSize;
  const uint64_t start = reinterpret_cast<uintptr_t>(address);
  return regionEnd > start ? static_cast<size_t>(regionEnd - start) : 0;
}

bool IsSpanReadable(const void* address, size_t length) {
  if (address == nullptr || length == 0) return false;
  uint64_t cursor = reinterpret_cast<uintptr_t>(address);
  const uint64_t end = cursor + length;
  if (end > uint64_t{UINTPTR_MAX} + 1) return false;
  while (cursor < end) {
    const size_t readable = ReadableBytesInRegion(reinterpret_cast<const void*>(
        static_cast<uintptr_t>(cursor)));
    if (readable == 0) return false;
    cursor += readable;
  }
  return true;
}

bool IsExecutableTarget(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  return QueryRegion(address, info) && (info.Protect & kExecutableProtections) != 0;
}

bool IsCommittedExecutableTarget(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  return address != nullptr && QueryRegion(address, info) && info.State == MEM_COMMIT &&
         (info.Protect & kExecutableProtections) != 0;
}

}  // namespace driftglass
