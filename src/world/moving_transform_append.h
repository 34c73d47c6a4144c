#pragma once
// A sub-mesh's matrix history keeps only ticks in which the sub-mesh moved: a matrix that did
// not change over one clean tick replaces the history by itself, so a pair always spans motion.

#include <cstdint>

#include "shared/rigid_transform.h"
#include "timing/snapshot_history.h"

namespace driftglass {

// AppendSnapshot, except that at the tick after the newest entry, without a jump, a matrix equal
// (1e-5) to the newest leaves that matrix at the new tick as the only entry and answers
// "unchanged". Returns a HistoryAppendResult.
uint32_t AppendMovingTransform(RigidTransformHistory& history, uint64_t tick,
                               uint64_t clockGeneration, const RigidTransform& matrix);

}  // namespace driftglass
