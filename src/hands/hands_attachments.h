#pragma once
// The held object's billboards, particle systems and lights draw from their own cached world
// matrices, not from the sub-mesh path, so their caches get the hands correction in place for
// one render and their own bytes back afterwards.

#include <cstdint>

#include "shared/rigid_transform.h"

namespace driftglass {

// The attachment counters of one frame, zeroed at each Apply.
struct HandsAttachmentCounts {
  uint32_t seen = 0, applied = 0, parentMiss = 0, invalid = 0, full = 0;
};

struct AttachmentRecord {
  void* entity = nullptr;
  float* cache = nullptr;
  uint8_t saved[64] = {};
};

struct AttachmentHostCalls {
  uintptr_t getWorldMatrix = 0;
  uintptr_t getEntityParent = 0;
};

class HandsAttachments {
 public:
  static constexpr uint32_t kCapacity = 32;

  // Corrects every attachment of heldObject that hangs on heldMesh; counts go into counts.
  void Correct(const void* heldObject, const void* heldMesh, const RigidTransform& correction,
               const AttachmentHostCalls& calls, HandsAttachmentCounts& counts);
  // Writes the saved bytes back, newest first; returns the caches that were no longer writable.
  uint32_t Restore();

  uint32_t count() const { return count_; }

 private:
  void CorrectEntity(void* entity, const void* heldMesh, const RigidTransform& correction,
                     const AttachmentHostCalls& calls, HandsAttachmentCounts& counts);
  bool HasEntity(const void* entity) const;
  bool HasCache(const float* cache) const;

  AttachmentRecord records_[kCapacity];
  uint32_t count_ = 0;
};

}  // namespace driftglass
