#pragma once
// The frame side of the world roots. Apply turns each moving body's two completed ticks into a
// correction (interpolated pose times the inverse of the last captured pose); while the scene
// renders, ModelMatrix hands each sub-mesh its body's correction times the host's matrix from
// plug-in storage. Sub-meshes of multi-body props that follow no single body use their own
// history, written into the host's world-matrix cache for the frame and put back by Restore.

#include <cstdint>

#include "timing/clock_sample.h"
#include "world/world_body_choice.h"
#include "world/world_frame_tables.h"
#include "world/world_model_answers.h"
#include "world/world_model_result.h"
#include "world/world_root_tracker.h"

namespace driftglass {

struct WorldApplyCounts {
  uint32_t ready = 0, pairMiss = 0, invalid = 0, applyFail = 0, multiOwners = 0, modelReady = 0,
           modelMovingReady = 0, modelCacheApplied = 0, modelCacheInvalid = 0,
           modelRestoreFail = 0;
};

class WorldRenderCorrection {
 public:
  // Empties the frame tables and forgets the tracker; run Restore first if a frame is open.
  void Reset();
  WorldApplyCounts Apply(const ClockSample& sample, WorldRootTracker& tracker);
  // result starts as the host's matrix pointer (may be null); diagnostic is a
  // WorldModelDiagnostic. Returns a WorldModelResult.
  uint32_t ModelMatrix(const void* subMesh, const float* hostMatrix, const float*& result,
                       uint32_t& diagnostic);
  uint32_t Restore();  // caches that could not be written back
  bool renderReady() const { return renderReady_; }

 private:
  void CorrectMovingEntries(WorldApplyCounts& counts);
  void RegisterAppliedEntries(WorldApplyCounts& counts);
  void ApplyModelHistories(WorldApplyCounts& counts);
  void WriteModelCache(ModelHistory& history, WorldApplyCounts& counts);
  uint32_t AskWholeWay(const void* subMesh, const float* hostMatrix, const float*& result, uint32_t& diagnostic,
                       WorldModelAnswer* answer);
  uint32_t HistoryModel(const ModelHistory& history, const void* subMesh, const float* hostMatrix,
                        const float*& result, uint32_t& diagnostic, WorldModelAnswer* answer);
  uint32_t BodyModel(const WorldBodyChoice& choice, const void* subMesh, const float* hostMatrix,
                     const float*& result, WorldModelAnswer* answer);
  // This frame's slot of the sub-mesh, if its answer has one.
  ModelMatrixSlot* SlotOfThisFrame(const WorldModelAnswer* answer);
  ModelMatrixSlot* TakeSlot(const void* subMesh, WorldModelAnswer* answer);

  WorldRootTracker* tracker_ = nullptr;
  WorldFrameMeshes meshes_;
  WorldFrameBodies bodies_;
  WorldModelSlots slots_;
  WorldModelAnswers answers_;
  uint32_t frame_ = 0;
  ClockSample sample_;
  bool renderReady_ = false;
};

}  // namespace driftglass
