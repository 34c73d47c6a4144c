#include "hands/hands_root_interpolator.h"

#include <cstring>

#include "hands/hands_root_result.h"
#include "host/guarded_memory.h"
#include "shared/entity_layout.h"

namespace driftglass {
namespace {

uint32_t MapAppend(uint32_t append) {
  switch (append) {
    case kAppendAppended:
    case kAppendUnchanged: return kHandsRootCaptured;
    case kAppendGeneration: return kHandsRootGeneration;
    case kAppendNonMonotonic: return kHandsRootNonMonotonic;
    case kAppendSameTickMutation: return kHandsRootSameTickMutation;
    case kAppendDiscontinuity: return kHandsRootDiscontinuity;
    default: return kHandsRootInvalid;
  }
}

}  // namespace

const wchar_t* HandsModelResultName(uint32_t result) {
  switch (result) {
    case kHandsModelNotHands: return L"not-hands";
    case kHandsModelApplied: return L"applied";
    case kHandsModelAppliedHandObject: return L"applied-hand-object";
    case kHandsModelAppliedHandObjectHistory: return L"applied-hand-object-history";
    case kHandsModelInvalid: return L"invalid";
    case kHandsModelSlotsExhausted: return L"slots-exhausted";
    default: return L"unknown";
  }
}

void HandsRootInterpolator::Configure(uintptr_t getWorldMatrix, uintptr_t getEntityParent) {
  Restore();
  getWorldMatrix_ = getWorldMatrix;
  getEntityParent_ = getEntityParent;
  ResetAll();
}

void HandsRootInterpolator::ResetAll() {
  staged_ = StagedHands{};
  rootHistory_.ClearHistory();
  hands_ = nullptr;
  mesh_ = nullptr;
  identityValid_ = false;
  heldObject_ = nullptr;
  heldMesh_ = nullptr;
  handsCorrection_ = IdentityTransform();
  viewCorrection_ = IdentityTransform();
  viewCorrectionPresent_ = false;
  slotCount_ = 0;
  ResetHeldObjectHistories();
  attachmentCounts_ = HandsAttachmentCounts{};
  unreportedRestoreFailures_ = 0;
  lastTick_ = 0;
  lastGeneration_ = 0;
  sample_ = ClockSample{};
  renderReady_ = false;
}

void HandsRootInterpolator::ResetHeldObjectHistories() {
  for (HeldObjectHistory& entry : heldHistories_) {
    entry.subMesh = nullptr;
    entry.history.ClearHistory();
    entry.lastAppendTick = 0;
    entry.inUse = false;
  }
}

uint32_t HandsRootInterpolator::Stage(void* hands) {
  return ReadStagedHands(hands, getWorldMatrix_, staged_) ? kHandsRootStaged : kHandsRootInvalid;
}

uint32_t HandsRootInterpolator::Capture(uint64_t tick, uint64_t generation) {
  lastTick_ = tick;
  lastGeneration_ = generation;
  if (!staged_.staged) {
    // A tick without the hands' update: nothing to vouch for until they come back.
    rootHistory_.ClearHistory();
    ResetHeldObjectHistories();
    identityValid_ = false;
    return kHandsRootUnavailable;
  }
  const StagedHands staged = staged_;
  staged_ = StagedHands{};
  heldObject_ = staged.heldObject;
  if (staged.heldMesh != heldMesh_) ResetHeldObjectHistories();
  heldMesh_ = staged.heldMesh;
  if (identityValid_ && staged.hands == hands_ && staged.mesh == mesh_) {
    return MapAppend(rootHistory_.AppendSnapshot(tick, generation, staged.root));
  }
  hands_ = staged.hands;
  mesh_ = staged.mesh;
  identityValid_ = true;
  rootHistory_.ClearHistory();
  ResetHeldObjectHistories();
  rootHistory_.AppendSnapshot(tick, generation, staged.root);
  return kHandsRootIdentityChanged;
}

bool HandsRootInterpolator::SetViewCorrection(const RigidTransform* matrix) {
  viewCorrection_ = IdentityTransform();
  viewCorrectionPresent_ = false;
  if (matrix == nullptr) return true;
  if (!IsValidRigidTransform(*matrix)) return false;
  viewCorrection_ = *matrix;
  viewCorrectionPresent_ = true;
  return true;
}

uint32_t HandsRootInterpolator::Apply(const ClockSample& sample) {
  // A render whose Restore never came leaves its caches behind; their failures are not lost.
  unreportedRestoreFailures_ = Restore();
  attachmentCounts_ = HandsAttachmentCounts{};
  sample_ = sample;
  if (!identityValid_ || mesh_ == nullptr) return kHandsRootUnavailable;
  RigidTransform interpolated;
  switch (rootHistory_.PairSnapshots(sample, interpolated)) {
    case kPairApplied: break;
    case kPairSnapshotsMissing: return kHandsRootSnapshotsMissing;
    case kPairInvalid: return kHandsRootInvalid;
    default: return kHandsRootClockUnavailable;  // no interpolated sample, or another generation
  }
  const uint32_t built = BuildCorrection(interpolated);
  if (built != kHandsRootRenderReady) return built;
  renderReady_ = true;
  if (heldObject_ != nullptr && heldMesh_ != nullptr && getWorldMatrix_ != 0 &&
      getEntityParent_ != 0) {
    attachments_.Correct(heldObject_, heldMesh_, handsCorrection_,
                         AttachmentHostCalls{getWorldMatrix_, getEntityParent_}, attachmentCounts_);
  }
  return kHandsRootRenderReady;
}

uint32_t HandsRootInterpolator::BuildCorrection(const RigidTransform& interpolated) {
  RigidTransform current;
  RigidTransform inverse;
  RigidTransform correction;
  if (!ReadRigidTransform(CallGetWorldMatrix(getWorldMatrix_, mesh_), current) ||
      !InvertRigidTransform(current, inverse) ||
      !MultiplyTransforms(interpolated, inverse, correction)) {
    return kHandsRootApplyFailed;
  }
  if (viewCorrectionPresent_ && (!MultiplyTransforms(viewCorrection_, correction, correction) ||
                                 !IsValidRigidTransform(correction))) {
    return kHandsRootApplyFailed;
  }
  handsCorrection_ = correction;
  return kHandsRootRenderReady;
}

uint32_t HandsRootInterpolator::ModelMatrix(const void* subMesh, const float* hostMatrix,
                                            const float*& result) {
  if (!renderReady_ || subMesh == nullptr) return kHandsModelNotHands;
  const void* owner;
  memcpy(&owner, static_cast<const uint8_t*>(subMesh) + kSubMeshOwner, sizeof(owner));
  const bool held = heldMesh_ != nullptr && owner == heldMesh_;
  if (!held && owner != mesh_) return kHandsModelNotHands;
  if (!IsRangeReadable(hostMatrix, sizeof(RigidTransform))) return kHandsModelInvalid;
  RigidTransform host;
  memcpy(&host, hostMatrix, sizeof(host));

  ModelMatrixSlot* slot = nullptr;
  for (uint32_t i = 0; i < slotCount_ && slot == nullptr; ++i) {
    if (slots_[i].subMesh == subMesh) slot = &slots_[i];
  }
  if (slot == nullptr && slotCount_ == kModelMatrixSlots) return kHandsModelSlotsExhausted;

  RigidTransform corrected;
  const uint32_t outcome = held ? HeldObjectModel(subMesh, host, corrected) : kHandsModelApplied;
  if (outcome == kHandsModelApplied || outcome == kHandsModelAppliedHandObject) {
    if (!MultiplyTransforms(handsCorrection_, host, corrected)) return kHandsModelInvalid;
  } else if (outcome != kHandsModelAppliedHandObjectHistory) {
    return outcome;
  }
  if (slot == nullptr) {
    slot = &slots_[slotCount_++];
    slot->subMesh = subMesh;
  }
  slot->matrix = corrected;
  result = slot->matrix.m;
  return outcome;
}

// "applied-hand-object-history" with out set, "applied-hand-object" to fall back on the hands
// correction, or a failure.
uint32_t HandsRootInterpolator::HeldObjectModel(const void* subMesh, const RigidTransform& host,
                                                RigidTransform& out) {
  bool fresh = false;
  HeldObjectHistory* const entry = HeldObjectHistoryFor(subMesh, fresh);
  if (entry == nullptr) return kHandsModelSlotsExhausted;
  // The host rebuilds the matrix every frame, but it only changes at a tick.
  if (fresh || entry->lastAppendTick != lastTick_) {
    entry->history.AppendSnapshot(lastTick_, lastGeneration_, host);
    entry->lastAppendTick = lastTick_;
  }
  RigidTransform blended;
  if (entry->history.PairSnapshots(sample_, blended) != kPairApplied) {
    return kHandsModelAppliedHandObject;
  }
  if (viewCorrectionPresent_ && !MultiplyTransforms(viewCorrection_, blended, blended)) {
    return kHandsModelInvalid;
  }
  out = blended;
  return kHandsModelAppliedHandObjectHistory;
}

HeldObjectHistory* HandsRootInterpolator::HeldObjectHistoryFor(const void* subMesh, bool& fresh) {
  HeldObjectHistory* unused = nullptr;
  for (HeldObjectHistory& entry : heldHistories_) {
    if (entry.inUse && entry.subMesh == subMesh) return &entry;
    if (!entry.inUse && unused == nullptr) unused = &entry;
  }
  if (unused != nullptr) {
    unused->subMesh = subMesh;
    unused->history.ClearHistory();
    unused->lastAppendTick = 0;
    unused->inUse = true;
    fresh = true;
  }
  return unused;
}

uint32_t HandsRootInterpolator::Restore() {
  const uint32_t failures = attachments_.Restore() + unreportedRestoreFailures_;
  unreportedRestoreFailures_ = 0;
  renderReady_ = false;
  slotCount_ = 0;
  return failures;
}

HandsRootInterpolator& ProcessHandsRootInterpolator() {
  static HandsRootInterpolator interpolator;
  return interpolator;
}

}  // namespace driftglass
