#pragma once

#include <cstdint>

namespace driftglass {

// How a sub-mesh's model matrix was answered for the world roots.
enum WorldModelResult : uint32_t {
  kWorldModelNotWorld = 0,
  kWorldModelAppliedProp = 1,
  kWorldModelAppliedPropParent = 2,
  kWorldModelAppliedPropNullModel = 3,
  kWorldModelAppliedPropParentNullModel = 4,
  kWorldModelAppliedPropDirectParent = 5,
  kWorldModelAppliedPropDirectParentNullModel = 6,
  kWorldModelAppliedPropModelHistory = 7,
  kWorldModelAppliedGrunt = 8,
  kWorldModelAppliedStandaloneBody = 9,
  kWorldModelAppliedStandaloneBodyNullModel = 10,
  kWorldModelPropParentMismatch = 11,
  kWorldModelInvalid = 12,
  kWorldModelSlotsExhausted = 13,
};

// The second answer of the model path: what happened around the sub-mesh's own history.
enum WorldModelDiagnostic : uint32_t {
  kWorldModelDiagnosticNone = 0,
  kWorldModelDiagnosticBodyOverHistory = 1,
  kWorldModelDiagnosticClockUnavailable = 6,
  kWorldModelDiagnosticGenerationMismatch = 7,
  kWorldModelDiagnosticSnapshotsMissing = 8,
  kWorldModelDiagnosticInvalid = 9,
  kWorldModelDiagnosticNoSlot = 10,
  kWorldModelDiagnosticNotMoving = 11,
  kWorldModelDiagnosticMovingSame = 12,
  kWorldModelDiagnosticMovingChanged = 13,
};

// "not-world", "applied-prop", ... "slots-exhausted", else "unknown".
const wchar_t* WorldModelResultName(uint32_t result);

}  // namespace driftglass
