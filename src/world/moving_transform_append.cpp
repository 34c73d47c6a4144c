#include "world/moving_transform_append.h"

namespace driftglass {

uint32_t AppendMovingTransform(RigidTransformHistory& history, uint64_t tick,
                               uint64_t clockGeneration, const RigidTransform& matrix) {
  if (IsValidRigidTransform(matrix) && history.bound() &&
      history.generation() == clockGeneration && history.count() > 0) {
    const RigidTransformHistory::Entry& last = history.entry(history.count() - 1);
    if (tick - last.tick == 1 && tick > last.tick &&
        !IsRigidTransformJump(last.snapshot, matrix, 1.0f) &&
        SameRigidTransform(last.snapshot, matrix)) {
      history.ClearHistory();
      history.AppendSnapshot(tick, clockGeneration, matrix);
      return kAppendUnchanged;
    }
  }
  return history.AppendSnapshot(tick, clockGeneration, matrix);
}

}  // namespace driftglass
