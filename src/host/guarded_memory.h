#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace driftglass {

constexpr uint32_t kReadableProtections = 0xEE;
constexpr uint32_t kWritableProtections = 0xCC;
constexpr uint32_t kExcludedProtections = 0x101;  // PAGE_NOACCESS, PAGE_GUARD
constexpr uint32_t kExecutableProtections = 0xF0;

// Asks the OS, right now, whether [address, address + length) lies inside one committed region
// whose protection has a bit of mask and neither excluded bit. Never touches the bytes.
bool IsRangeAccessible(const void* address, size_t length, uint32_t mask);
bool IsRangeReadable(const void* address, size_t length);
bool IsRangeWritable(const void* address, size_t length);

// Like IsRangeReadable, but the range may span several regions, each of which must be readable.
// Used for whole image sections, whose pages another tool may have re-protected one by one.
bool IsSpanReadable(const void* address, size_t length);

// How many bytes from address onward lie in the same readable region; 0 when it is not readable.
size_t ReadableBytesInRegion(const void* address);

// The region query answers in full and its protection has an execute bit (signature matches).
bool IsExecutableTarget(const void* address);
// As above, and the region is committed (import targets, which the loader bound).
bool IsCommittedExecutableTarget(const void* address);

template <typename T>
bool ReadHostValue(const void* object, uintptr_t offset, T& out) {
  if (object == nullptr) return false;
  const void* source = static_cast<const uint8_t*>(object) + offset;
  if (!IsRangeReadable(source, sizeof(T))) return false;
  memcpy(&out, source, sizeof(T));
  return true;
}

}  // namespace driftglass
