#include "hands/hands_attachments.h"

#include <cstring>

#include "hands/hands_host_layout.h"
#include "host/guarded_memory.h"
#include "shared/entity_layout.h"

namespace driftglass {

void HandsAttachments::Correct(const void* heldObject, const void* heldMesh,
                               const RigidTransform& correction, const AttachmentHostCalls& calls,
                               HandsAttachmentCounts& counts) {
  for (const uintptr_t arrayOffset : kHandObjectAttachmentArrays) {
    void* entries[kMaxAttachmentsPerArray];
    uint32_t entryCount = 0;
    if (!ReadHostPointerArray(heldObject, arrayOffset, kMaxAttachmentsPerArray, entries,
                              entryCount)) {
      ++counts.invalid;
      continue;
    }
    for (uint32_t i = 0; i < entryCount; ++i) {
      ++counts.seen;
      if (entries[i] == nullptr) {
        ++counts.invalid;
        continue;
      }
      CorrectEntity(entries[i], heldMesh, correction, calls, counts);
    }
  }
}

void HandsAttachments::CorrectEntity(void* entity, const void* heldMesh,
                                     const RigidTransform& correction,
                                     const AttachmentHostCalls& calls,
                                     HandsAttachmentCounts& counts) {
  // Something hung elsewhere does not move with the hands.
  if (CallGetEntityParent(calls.getEntityParent, entity) != heldMesh) {
    ++counts.parentMiss;
    return;
  }
  if (HasEntity(entity)) return;
  if (count_ == kCapacity) {
    ++counts.full;
    return;
  }
  float* const cache = const_cast<float*>(CallGetWorldMatrix(calls.getWorldMatrix, entity));
  // A cache shared with an entity already corrected must not be corrected twice.
  if (HasCache(cache)) return;
  RigidTransform current;
  RigidTransform corrected;
  // Writable implies readable: the one test covers reading, saving and writing the cache.
  if (!IsRangeWritable(cache, sizeof(RigidTransform)) || !ParseRigidTransform(cache, current) ||
      !MultiplyTransforms(correction, current, corrected)) {
    ++counts.invalid;
    return;
  }
  AttachmentRecord& record = records_[count_++];
  record.entity = entity;
  record.cache = cache;
  memcpy(record.saved, cache, sizeof(record.saved));
  memcpy(cache, &corrected, sizeof(corrected));
  ++counts.applied;
}

bool HandsAttachments::HasEntity(const void* entity) const {
  for (uint32_t i = 0; i < count_; ++i) {
    if (records_[i].entity == entity) return true;
  }
  return false;
}

bool HandsAttachments::HasCache(const float* cache) const {
  for (uint32_t i = 0; i < count_; ++i) {
    if (records_[i].cache == cache) return true;
  }
  return false;
}

uint32_t HandsAttachments::Restore() {
  uint32_t failures = 0;
  // Newest first, so overlapping caches end with their oldest saved bytes.
  while (count_ > 0) {
    AttachmentRecord& record = records_[--count_];
    if (IsRangeWritable(record.cache, sizeof(record.saved))) {
      memcpy(record.cache, record.saved, sizeof(record.saved));
    } else {
      ++failures;
    }
    record = AttachmentRecord{};
  }
  return failures;
}

}  // namespace driftglass
