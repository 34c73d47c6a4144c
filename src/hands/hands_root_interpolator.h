#pragma once
// Moves the first-person hands and the object they hold on the presentation clock: the root is
// recorded once per completed tick, and each render gets one correction (interpolated root times
// the inverse of the host's current root) that the renderer-facing matrices receive. The host's
// own transforms are never changed, except the held object's attachment caches for one render.

#include <cstdint>

#include "hands/hands_attachments.h"
#include "hands/hands_staging.h"
#include "shared/model_matrix_slot.h"
#include "shared/rigid_transform.h"
#include "timing/clock_sample.h"
#include "timing/snapshot_history.h"

namespace driftglass {

enum HandsModelResult : uint32_t {
  kHandsModelNotHands = 0,
  kHandsModelApplied = 1,
  kHandsModelAppliedHandObject = 2,
  kHandsModelAppliedHandObjectHistory = 3,
  kHandsModelInvalid = 4,
  kHandsModelSlotsExhausted = 5,
};

// "not-hands", "applied", "applied-hand-object", "applied-hand-object-history", "invalid",
// "slots-exhausted", else "unknown".
const wchar_t* HandsModelResultName(uint32_t result);

// A held-object sub-mesh that moves against the hands keeps its own two ticks.
struct HeldObjectHistory {
  const void* subMesh = nullptr;
  RigidTransformHistory history;
  uint64_t lastAppendTick = 0;
  bool inUse = false;
};

class HandsRootInterpolator {
 public:
  static constexpr uint32_t kModelMatrixSlots = 128;
  static constexpr uint32_t kHeldObjectHistories = 128;

  // Runs Restore, stores iEntity3D::GetWorldMatrix and iEntity3D::GetEntityParent (0 = unresolved),
  // resets everything.
  void Configure(uintptr_t getWorldMatrix, uintptr_t getEntityParent);
  uint32_t Stage(void* hands);                           // HandsRootResult
  uint32_t Capture(uint64_t tick, uint64_t generation);  // HandsRootResult
  bool SetViewCorrection(const RigidTransform* matrix);  // nullptr = none
  uint32_t Apply(const ClockSample& sample);             // HandsRootResult
  // result starts as the host's matrix pointer; on success it points into plug-in storage.
  uint32_t ModelMatrix(const void* subMesh, const float* hostMatrix,
                       const float*& result);  // HandsModelResult
  uint32_t Restore();                          // caches that could not be written back
  const HandsAttachmentCounts& attachmentCounts() const { return attachmentCounts_; }
  bool viewCorrectionPresent() const { return viewCorrectionPresent_; }

 private:
  void ResetAll();
  void ResetHeldObjectHistories();
  uint32_t BuildCorrection(const RigidTransform& interpolated);
  HeldObjectHistory* HeldObjectHistoryFor(const void* subMesh, bool& fresh);
  uint32_t HeldObjectModel(const void* subMesh, const RigidTransform& host, RigidTransform& out);

  uintptr_t getWorldMatrix_ = 0;
  uintptr_t getEntityParent_ = 0;

  StagedHands staged_;
  RigidTransformHistory rootHistory_;
  void* hands_ = nullptr;
  void* mesh_ = nullptr;
  bool identityValid_ = false;
  void* heldObject_ = nullptr;
  void* heldMesh_ = nullptr;

  RigidTransform handsCorrection_ = IdentityTransform();
  RigidTransform viewCorrection_ = IdentityTransform();
  bool viewCorrectionPresent_ = false;

  ModelMatrixSlot slots_[kModelMatrixSlots];
  uint32_t slotCount_ = 0;
  HeldObjectHistory heldHistories_[kHeldObjectHistories];
  HandsAttachments attachments_;
  HandsAttachmentCounts attachmentCounts_;
  // Caches an Apply could not write back before starting over; reported by the next Restore.
  uint32_t unreportedRestoreFailures_ = 0;

  uint64_t lastTick_ = 0;
  uint64_t lastGeneration_ = 0;
  ClockSample sample_;
  bool renderReady_ = false;
};

// The process's one instance.
HandsRootInterpolator& ProcessHandsRootInterpolator();

}  // namespace driftglass
