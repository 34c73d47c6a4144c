#include "shared/entity_layout.h"

#include <cstring>

#include "host/guarded_memory.h"
#include "measure/stage_meter.h"

namespace driftglass {

const float* CallGetWorldMatrix(uintptr_t getWorldMatrix, void* entity) {
  if (getWorldMatrix == 0) return nullptr;
  HostCallScope call;
  return reinterpret_cast<GetWorldMatrixFunction>(getWorldMatrix)(entity);
}

void* CallGetEntityParent(uintptr_t getEntityParent, void* entity) {
  if (getEntityParent == 0) return nullptr;
  HostCallScope call;
  return reinterpret_cast<GetEntityParentFunction>(getEntityParent)(entity);
}

bool ReadRigidTransform(const float* source, RigidTransform& out) {
  return IsRangeReadable(source, sizeof(RigidTransform)) && ParseRigidTransform(source, out);
}

bool ParseRigidTransform(const float* source, RigidTransform& out) {
  RigidTransform copy;
  memcpy(&copy, source, sizeof(copy));
  if (!IsValidRigidTransform(copy)) return false;
  out = copy;
  return true;
}

bool ReadMeshActive(const void* mesh, bool& active) {
  uint8_t flag = 0;
  if (!ReadHostValue(mesh, kMeshActive, flag) || flag > 1) return false;
  active = flag == 1;
  return true;
}

bool ReadHostPointerArray(const void* object, uintptr_t beginOffset, uint32_t maxEntries,
                          void** entries, uint32_t& count) {
  count = 0;
  uintptr_t range[2];
  if (!ReadHostValue(object, beginOffset, range)) return false;
  const uintptr_t begin = range[0];
  const uintptr_t end = range[1];
  if (begin == end) return true;
  if (begin == 0 || end == 0 || end < begin) return false;
  const uintptr_t bytes = end - begin;
  if (bytes % sizeof(void*) != 0 || bytes / sizeof(void*) > maxEntries) return false;
  const void* array = reinterpret_cast<const void*>(begin);
  if (!IsRangeReadable(array, bytes)) return false;
  memcpy(entries, array, bytes);
  count = static_cast<uint32_t>(bytes / sizeof(void*));
  return true;
}

}  // namespace driftglass
