#include "world/world_render_correction.h"

#include <cstring>

#include "host/guarded_memory.h"
#include "shared/entity_layout.h"

namespace driftglass {
namespace {

// Both ticks of the frame are in the history and the sub-mesh moved between them.
bool IsMovingReady(const RigidTransformHistory& history, const ClockSample& sample) {
  const RigidTransform* previous = nullptr;
  const RigidTransform* current = nullptr;
  for (uint32_t i = 0; i < history.count(); ++i) {
    const RigidTransformHistory::Entry& entry = history.entry(i);
    if (entry.tick == sample.previousTick) previous = &entry.snapshot;
    if (entry.tick == sample.currentTick) current = &entry.snapshot;
  }
  return previous != nullptr && current != nullptr && !SameRigidTransform(*previous, *current);
}

// What the host matrix pointer holds is compared as read; a null or unreadable one differs.
bool HostMatrixEquals(const float* hostMatrix, const RigidTransform& matrix) {
  if (!IsRangeReadable(hostMatrix, sizeof(RigidTransform))) return false;
  RigidTransform host;
  memcpy(&host, hostMatrix, sizeof(host));
  return SameRigidTransform(host, matrix);
}

uint32_t PairDiagnostic(uint32_t pair) {
  switch (pair) {
    case kPairClockUnavailable: return kWorldModelDiagnosticClockUnavailable;
    case kPairGenerationMismatch: return kWorldModelDiagnosticGenerationMismatch;
    case kPairSnapshotsMissing: return kWorldModelDiagnosticSnapshotsMissing;
    default: return kWorldModelDiagnosticInvalid;
  }
}

uint32_t BodyResult(uint32_t kind, uint32_t way, bool nullModel) {
  if (kind == kWorldBodyStandalone) {
    return nullModel ? kWorldModelAppliedStandaloneBodyNullModel : kWorldModelAppliedStandaloneBody;
  }
  if (kind == kWorldBodyGrunt) return kWorldModelAppliedGrunt;
  if (way == kWorldChoiceDirectParent) {
    return nullModel ? kWorldModelAppliedPropDirectParentNullModel
                     : kWorldModelAppliedPropDirectParent;
  }
  if (way == kWorldChoiceParentWalk) {
    return nullModel ? kWorldModelAppliedPropParentNullModel : kWorldModelAppliedPropParent;
  }
  return nullModel ? kWorldModelAppliedPropNullModel : kWorldModelAppliedProp;
}

template <typename T>
T PlainRead(const void* object, uintptr_t offset) {
  T value;
  memcpy(&value, static_cast<const uint8_t*>(object) + offset, sizeof(value));
  return value;
}

}  // namespace

void WorldRenderCorrection::Reset() {
  tracker_ = nullptr;
  answers_.Forget();
  meshes_.Clear();
  bodies_.Clear();
  slots_.Clear();
  sample_ = ClockSample{};
  renderReady_ = false;
}

WorldApplyCounts WorldRenderCorrection::Apply(const ClockSample& sample,
                                              WorldRootTracker& tracker) {
  WorldApplyCounts counts;
  // The previous frame's caches must be back before they are saved again.
  if (renderReady_) counts.modelRestoreFail += Restore();
  tracker_ = &tracker;
  meshes_.Clear();
  bodies_.Clear();
  slots_.Clear();
  renderReady_ = false;
  sample_ = sample;

  CorrectMovingEntries(counts);
  RegisterAppliedEntries(counts);
  ApplyModelHistories(counts);
  // What a sub-mesh is follows from the two ticks and the bodies corrected: while they stay the
  // same, the answers of the frame before hold.
  uint64_t stamp = 0xCBF29CE484222325ull;
  const auto fold = [&stamp](uint64_t value) { stamp = (stamp ^ value) * 0x100000001B3ull; };
  fold(sample.previousTick);
  fold(sample.currentTick);
  fold(sample.generation);
  fold(reinterpret_cast<uintptr_t>(tracker_));
  for (const WorldBodyEntry& entry : tracker_->bodies().entries()) {
    if (entry.appliedThisFrame) fold(reinterpret_cast<uintptr_t>(&entry));
  }
  frame_ = answers_.BeginFrame(stamp);
  if (renderReady_) {
    for (const WorldFrameMesh& mesh : meshes_.entries()) {
      if (mesh.hasProp && mesh.largestBodyCount >= 2) ++counts.multiOwners;
    }
  }
  return counts;
}

void WorldRenderCorrection::CorrectMovingEntries(WorldApplyCounts& counts) {
  for (WorldBodyEntry& entry : tracker_->bodies().entries()) {
    entry.appliedThisFrame = false;
    if (!entry.inUse || !entry.moving) continue;
    RigidTransform interpolated;
    switch (entry.history.PairSnapshots(sample_, interpolated)) {
      case kPairApplied: break;
      case kPairSnapshotsMissing:
      case kPairGenerationMismatch: ++counts.pairMiss; continue;
      case kPairInvalid: ++counts.invalid; continue;
      default: continue;  // no interpolated sample this frame
    }
    if (!entry.hasLastMatrix || !entry.hasLastInverse ||
        !MultiplyTransforms(interpolated, entry.lastInverse, entry.correction)) {
      ++counts.applyFail;
      continue;
    }
    entry.appliedThisFrame = true;
    renderReady_ = true;
    ++counts.ready;
  }
}

void WorldRenderCorrection::RegisterAppliedEntries(WorldApplyCounts& counts) {
  for (WorldBodyEntry& entry : tracker_->bodies().entries()) {
    if (!entry.appliedThisFrame) continue;
    bool registered = false;
    if (entry.kind == kWorldBodyStandalone) {
      registered = bodies_.Register(entry);
    } else if (WorldFrameMesh* mesh = meshes_.FindOrAdd(entry.mesh)) {
      if (entry.kind == kWorldBodyGrunt) {
        mesh->grunt = &entry;
        registered = true;
      } else {
        mesh->hasProp = true;
        mesh->singlePropBody = &entry;
        if (entry.bodyCount > mesh->largestBodyCount) mesh->largestBodyCount = entry.bodyCount;
        registered = bodies_.Register(entry);
      }
    }
    if (!registered) {
      // Without its place in the tables nothing could find the correction.
      entry.appliedThisFrame = false;
      ++counts.applyFail;
    }
  }
  // Resting bodies count too: a prop with two bodies has no single body to follow.
  for (const WorldBodyEntry& entry : tracker_->bodies().entries()) {
    if (!entry.inUse || entry.kind != kWorldBodyProp) continue;
    WorldFrameMesh* mesh = meshes_.Find(entry.mesh);
    if (mesh != nullptr && mesh->hasProp) ++mesh->trackedPropBodies;
  }
}

void WorldRenderCorrection::ApplyModelHistories(WorldApplyCounts& counts) {
  for (ModelHistory& history : tracker_->modelHistories().entries()) {
    history.movingReady = history.inUse && IsMovingReady(history.history, sample_);
    if (!history.movingReady || history.cacheApplied) continue;
    if (history.history.PairSnapshots(sample_, history.interpolated) != kPairApplied) continue;
    renderReady_ = true;
    ++counts.modelReady;
    ++counts.modelMovingReady;
    // The sub-mesh may have gone since the tick: read its links through the guard.
    WorldSubMeshLinks links;
    links.subMesh = const_cast<void*>(history.subMesh);
    // Both links lie in one stretch of the sub-mesh: one test, one copy.
    uint8_t linkBytes[kSubMeshOwner + sizeof(void*) - kSubMeshAttachedBody];
    if (!ReadHostValue(history.subMesh, kSubMeshAttachedBody, linkBytes)) {
      ++counts.modelCacheInvalid;
      continue;
    }
    memcpy(&links.attachedBody, linkBytes, sizeof(links.attachedBody));
    memcpy(&links.ownerMesh, linkBytes + (kSubMeshOwner - kSubMeshAttachedBody), sizeof(links.ownerMesh));
    // A sub-mesh tied to a moving body follows that body through plug-in storage; only the
    // ones tied to none need the host's cache written.
    if (ChooseWorldBody(links, meshes_, bodies_, tracker_->getEntityParent()).entry == nullptr) {
      WriteModelCache(history, counts);
    }
  }
}

void WorldRenderCorrection::WriteModelCache(ModelHistory& history, WorldApplyCounts& counts) {
  auto* const cache = const_cast<float*>(CallGetWorldMatrix(
      tracker_->getWorldMatrix(), const_cast<void*>(history.subMesh)));
  RigidTransform saved;
  if (!IsRangeWritable(cache, sizeof(RigidTransform))) {
    ++counts.modelCacheInvalid;
    return;
  }
  memcpy(&saved, cache, sizeof(saved));
  if (!IsValidRigidTransform(saved)) {
    ++counts.modelCacheInvalid;
    return;
  }
  history.savedCache = saved;
  history.cache = cache;
  history.cacheApplied = true;
  memcpy(cache, history.interpolated.m, sizeof(RigidTransform));
  ++counts.modelCacheApplied;
}

uint32_t WorldRenderCorrection::ModelMatrix(const void* subMesh, const float* hostMatrix,
                                            const float*& result, uint32_t& diagnostic) {
  diagnostic = kWorldModelDiagnosticNone;
  if (!renderReady_ || subMesh == nullptr || tracker_ == nullptr) return kWorldModelNotWorld;
  WorldModelAnswer* answer = answers_.Find(subMesh);
  if (answer == nullptr) {
    answer = answers_.Add(subMesh);  // none when full: asked the whole way each time
  } else if (answer->kind == kWorldAnswerNotWorld) {
    return kWorldModelNotWorld;
  } else if (answer->kind == kWorldAnswerBody) {
    WorldBodyChoice choice;
    choice.entry = answer->entry;
    choice.way = answer->way;
    return BodyModel(choice, subMesh, hostMatrix, result, answer);
  }
  return AskWholeWay(subMesh, hostMatrix, result, diagnostic, answer);
}

// The history, the frame's meshes and bodies, and the body each sub-mesh follows; a sub-mesh with
// no history of its own keeps what it turned out to be for the frames to come.
uint32_t WorldRenderCorrection::AskWholeWay(const void* subMesh, const float* hostMatrix, const float*& result,
                                            uint32_t& diagnostic, WorldModelAnswer* answer) {
  const ModelHistory* history = tracker_->modelHistories().Find(subMesh);
  if (history != nullptr && !history->inUse) history = nullptr;

  if (history != nullptr && history->cacheApplied) {
    // Something made the cache unreadable mid-render: the host's own pointer is safer.
    if (!IsRangeReadable(history->cache, sizeof(RigidTransform))) return kWorldModelInvalid;
    diagnostic = HostMatrixEquals(history->cache, history->savedCache)
                     ? kWorldModelDiagnosticMovingSame
                     : kWorldModelDiagnosticMovingChanged;
    result = history->cache;
    return kWorldModelAppliedPropModelHistory;
  }

  // The renderer hands us a live sub-mesh: its links are plain reads.
  WorldSubMeshLinks links;
  links.subMesh = const_cast<void*>(subMesh);
  links.ownerMesh = PlainRead<const void*>(subMesh, kSubMeshOwner);
  links.attachedBody = PlainRead<const void*>(subMesh, kSubMeshAttachedBody);
  const WorldBodyChoice choice =
      ChooseWorldBody(links, meshes_, bodies_, tracker_->getEntityParent());
  if (choice.entry != nullptr) {
    if (history != nullptr) {
      diagnostic = kWorldModelDiagnosticBodyOverHistory;
    } else if (answer != nullptr) {
      answer->kind = kWorldAnswerBody;
      answer->entry = choice.entry;
      answer->way = static_cast<uint8_t>(choice.way);
    }
    return BodyModel(choice, subMesh, hostMatrix, result, answer);
  }
  if (history == nullptr && choice.mesh == nullptr) {
    if (answer != nullptr) answer->kind = kWorldAnswerNotWorld;
    return kWorldModelNotWorld;
  }
  if (history != nullptr) {
    const uint32_t answered = HistoryModel(*history, subMesh, hostMatrix, result, diagnostic, answer);
    if (answered != kWorldModelNotWorld) return answered;
  }
  return choice.mismatch ? kWorldModelPropParentMismatch : kWorldModelNotWorld;
}

ModelMatrixSlot* WorldRenderCorrection::SlotOfThisFrame(const WorldModelAnswer* answer) {
  return answer != nullptr && answer->slotFrame == frame_ ? &slots_.at(answer->slot) : nullptr;
}

ModelMatrixSlot* WorldRenderCorrection::TakeSlot(const void* subMesh, WorldModelAnswer* answer) {
  uint16_t number = 0;
  ModelMatrixSlot* const slot = slots_.Take(subMesh, number);
  if (slot != nullptr && answer != nullptr) {
    answer->slot = number;
    answer->slotFrame = frame_;
  }
  return slot;
}

// "not-world" when the history cannot answer and the caller falls back.
uint32_t WorldRenderCorrection::HistoryModel(const ModelHistory& history, const void* subMesh,
                                             const float* hostMatrix, const float*& result,
                                             uint32_t& diagnostic, WorldModelAnswer* answer) {
  if (!history.movingReady) {
    diagnostic = kWorldModelDiagnosticNotMoving;
    return kWorldModelNotWorld;
  }
  RigidTransform interpolated;
  const uint32_t pair = history.history.PairSnapshots(sample_, interpolated);
  if (pair != kPairApplied) {
    diagnostic = PairDiagnostic(pair);
    return kWorldModelNotWorld;
  }
  ModelMatrixSlot* slot = SlotOfThisFrame(answer);
  if (slot == nullptr) slot = TakeSlot(subMesh, answer);
  if (slot == nullptr) {
    diagnostic = kWorldModelDiagnosticNoSlot;
    return kWorldModelSlotsExhausted;
  }
  slot->matrix = interpolated;
  result = slot->matrix.m;
  diagnostic = HostMatrixEquals(hostMatrix, interpolated) ? kWorldModelDiagnosticMovingSame
                                                          : kWorldModelDiagnosticMovingChanged;
  return kWorldModelAppliedPropModelHistory;
}

uint32_t WorldRenderCorrection::BodyModel(const WorldBodyChoice& choice, const void* subMesh,
                                          const float* hostMatrix, const float*& result,
                                          WorldModelAnswer* answer) {
  const WorldBodyEntry& entry = *choice.entry;
  const bool nullModel = hostMatrix == nullptr;
  RigidTransform base = IdentityTransform();
  if (nullModel) {
    // A Grunt's sub-meshes are posed relative to its mesh; without a matrix there is no pose.
    if (entry.kind == kWorldBodyGrunt) return kWorldModelInvalid;
  } else {
    if (!IsRangeReadable(hostMatrix, sizeof(RigidTransform))) return kWorldModelInvalid;
    memcpy(&base, hostMatrix, sizeof(base));
  }
  // A full table answers first; a product that fails takes no slot.
  ModelMatrixSlot* slot = SlotOfThisFrame(answer);
  if (slot == nullptr && slots_.full()) return kWorldModelSlotsExhausted;
  RigidTransform corrected;
  if (!MultiplyTransforms(entry.correction, base, corrected)) return kWorldModelInvalid;
  if (slot == nullptr && (slot = TakeSlot(subMesh, answer)) == nullptr) return kWorldModelSlotsExhausted;
  slot->matrix = corrected;
  result = slot->matrix.m;
  return BodyResult(entry.kind, choice.way, nullModel);
}

uint32_t WorldRenderCorrection::Restore() {
  uint32_t failures = 0;
  if (tracker_ != nullptr) {
    // Newest write first, so a cache two sub-meshes share ends with the host's own bytes.
    std::span<ModelHistory> histories = tracker_->modelHistories().entries();
    for (size_t i = histories.size(); i-- > 0;) {
      ModelHistory& history = histories[i];
      if (!history.cacheApplied) continue;
      if (IsRangeWritable(history.cache, sizeof(RigidTransform))) {
        memcpy(history.cache, &history.savedCache, sizeof(RigidTransform));
      } else {
        // The host's bytes are lost to us; the sub-mesh starts over from its next ticks.
        history.history.ClearHistory();
        history.movingReady = false;
        ++failures;
      }
      history.cache = nullptr;
      history.cacheApplied = false;
    }
    for (WorldBodyEntry& entry : tracker_->bodies().entries()) entry.appliedThisFrame = false;
  }
  renderReady_ = false;
  slots_.Clear();
  meshes_.Clear();
  bodies_.Clear();
  return failures;
}

}  // namespace driftglass
