#pragma once
// Host entities laid out in test memory, and the engine calls the interpolators make on them,
// answered from fields only these fakes read: where an entity's world matrix is, its parent, and
// whether a body is awake.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/hook_slots.h"

namespace driftglass::test {

constexpr size_t kFakeWorld = 0x08;
constexpr size_t kFakeParent = 0x0C;
constexpr size_t kFakeAwake = 0x10;

template <typename T>
void Put(void* object, size_t offset, T value) {
  memcpy(static_cast<uint8_t*>(object) + offset, &value, sizeof(value));
}
template <typename T>
T Get(const void* object, size_t offset) {
  T value;
  memcpy(&value, static_cast<const uint8_t*>(object) + offset, sizeof(value));
  return value;
}

inline const float* DRIFTGLASS_THISCALL FakeGetWorldMatrix(void* entity) {
  return Get<const float*>(entity, kFakeWorld);
}
inline void* DRIFTGLASS_THISCALL FakeGetEntityParent(void* entity) { return Get<void*>(entity, kFakeParent); }
inline uint8_t DRIFTGLASS_THISCALL FakeGetEnabled(void* body) { return Get<uint8_t>(body, kFakeAwake); }

}  // namespace driftglass::test
