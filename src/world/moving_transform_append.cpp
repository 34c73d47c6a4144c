#include "world/moving_transform_append.h"

namespace driftglass {

uint32_t AppendMovingTransform(RigidTransformHistory& history, uint64_t tick,
                               uint64_t clockGeneration, const RigidTransform& matrix) {
  if (!IsValidRigidTransform(matrix)) return history.AppendSnapshot(tick, clockGeneration, matrix);
  // Worked out once for the jump test and the history's own use.
  const Quaternion rotation = QuaternionFromMatrix(matrix.m);
  if (history.bound() && history.generation() == clockGeneration && history.count() > 0) {
    const RigidTransformHistory::Entry& last = history.entry(history.count() - 1);
    if (tick - last.tick == 1 && tick > last.tick &&
        !IsRigidTransformJump(last.snapshot, last.derived, matrix, rotation, 1.0f) &&
        SameRigidTransform(last.snapshot, matrix)) {
      history.ClearHistory();
      history.AppendValidSnapshot(tick, clockGeneration, matrix, rotation);
      return kAppendUnchanged;
    }
  }
  return history.AppendValidSnapshot(tick, clockGeneration, matrix, rotation);
}

}  // namespace driftglass
