#pragma once
// Draws the first-person hands' skinned pose between the last two completed ticks. The host
// computes the bone palette at render time, so the palette of each tick is sampled at the first
// frame after it; each render then sees a blended palette, and the host's own bytes go back
// afterwards. Animation logic is never re-run: only the palette the renderer reads changes.

#include <cstdint>

#include "shared/bone_palette.h"
#include "shared/host_palette.h"
#include "timing/clock_sample.h"
#include "timing/snapshot_history.h"

namespace driftglass {

enum HandsPoseStageResult : uint32_t {
  kHandsPoseStaged = 0,
  kHandsPoseStageUnavailable = 1,
  kHandsPoseInactive = 2,
};

enum HandsPoseResult : uint32_t {
  kHandsPoseNotTarget = 0,
  kHandsPoseCaptured = 1,
  kHandsPoseApplied = 2,
  kHandsPoseAlreadyApplied = 3,
  kHandsPoseUnavailable = 4,
  kHandsPoseIdentityChanged = 5,
  kHandsPoseClockUnavailable = 6,
  kHandsPosePairMissing = 7,
  kHandsPoseInvalid = 8,
};

// "staged", "unavailable", "inactive", else "unknown".
const wchar_t* HandsPoseStageResultName(uint32_t result);
// "not-target", "captured", "applied", "already-applied", "unavailable", "identity-changed",
// "clock-unavailable", "pair-missing", "invalid", else "unknown".
const wchar_t* HandsPoseResultName(uint32_t result);

// The first bone of a palette that failed the bone test, as the host held it.
struct HandsPoseDiagnostic {
  uint32_t boneIndex = 0;
  float matrix[16] = {};
};

class HandsPoseInterpolator {
 public:
  // Runs Restore, clears everything, stores cMeshEntity::UpdateGraphicsForFrame (0 = unresolved).
  void Configure(uintptr_t updateGraphicsForFrame);
  // After cLuxPlayerHands::PostUpdate, with the tick that is about to complete.
  uint32_t Stage(void* hands, uint64_t tick);
  // After every completed tick: commits the mesh staged for that tick, or forgets the hands.
  void Capture(uint64_t tick, uint64_t generation);
  // Before cScene::Render. Leaves a restore pending only when it returns "applied".
  uint32_t Apply(const ClockSample& sample, uint64_t currentTick, float frameTime);
  // After the render; false when the host's palette could not be written back.
  bool Restore();
  // False when none is pending; clears it.
  bool TakeDiagnostic(HandsPoseDiagnostic& out);
  // True once after an Apply whose opening Restore could not write the host's palette back;
  // Apply's own result describes the new frame, so this failure is reported here.
  bool TakeFailedRestore();

 private:
  void ClearStaged();
  void ForgetMesh();
  uint32_t Unavailable();
  uint32_t AppendTickPalette(const HostPaletteSpan& span, uint32_t base);
  uint32_t Blend(const HostPaletteSpan& span, uint32_t base);

  uintptr_t updateGraphicsForFrame_ = 0;
  BonePaletteHistory history_;

  void* stagedMesh_ = nullptr;
  uint64_t stagedTick_ = 0;
  bool staged_ = false;

  void* committedMesh_ = nullptr;
  uintptr_t identityBegin_ = 0;
  uint32_t identityBones_ = 0;

  uint64_t lastTick_ = 0;
  uint64_t lastGeneration_ = 0;
  ClockSample sample_;

  // Every frame of a tick answers as the frame that appended the tick's palette did.
  bool appendedThisTick_ = false;
  uint64_t appendedTick_ = 0;
  uint32_t tickResult_ = kHandsPoseCaptured;

  bool inSync_ = false;
  bool failedRestore_ = false;
  SavedHostPalette saved_;

  // Scratch for the tick's copy and the frame's blend: kept here, not on the host's stack.
  BonePalette captured_;
  BonePalette blended_;

  bool diagnosticPending_ = false;
  HandsPoseDiagnostic diagnostic_;
};

// The process's one instance (static storage).
HandsPoseInterpolator& ProcessHandsPoseInterpolator();

}  // namespace driftglass
