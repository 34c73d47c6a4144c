#pragma once

// Every interpolated object keeps its last two completed ticks here. The history refuses to
// bridge anything it cannot vouch for (a new clock generation, a tick going backwards, a state
// changed without a new tick, a jump too large for one tick): each refusal empties it down to
// the offending snapshot, so the object shows its engine state until two clean ticks exist.
// One mechanism, three payloads; the traits below hold the per-payload rules. A payload whose
// blend has work that does not depend on the fraction (rotations turned into an arc, inputs
// checked) names it Prepared: the history does that work once, when the newer tick arrives, and
// every frame until the next tick only blends.

#include <cstdint>

#include "shared/bone_palette.h"
#include "shared/camera_pose.h"
#include "shared/rigid_transform.h"
#include "timing/clock_sample.h"

namespace driftglass {

enum HistoryAppendResult : uint32_t {
  kAppendAppended = 0,
  kAppendUnchanged = 1,
  kAppendInvalid = 2,
  kAppendGeneration = 3,
  kAppendNonMonotonic = 4,
  kAppendSameTickMutation = 5,
  kAppendDiscontinuity = 6,
};

// The palette history reports a bone-count change as its own result, which moves its
// discontinuity; every other value is shared with HistoryAppendResult.
enum PaletteAppendResult : uint32_t {
  kPaletteAppendAppended = 0,
  kPaletteAppendUnchanged = 1,
  kPaletteAppendInvalid = 2,
  kPaletteAppendGeneration = 3,
  kPaletteAppendNonMonotonic = 4,
  kPaletteAppendSameTickMutation = 5,
  kPaletteAppendBoneCount = 6,
  kPaletteAppendDiscontinuity = 7,
};

static_assert(uint32_t{kPaletteAppendSameTickMutation} == uint32_t{kAppendSameTickMutation},
              "the history returns the shared results for every variant");

enum HistoryPairResult : uint32_t {
  kPairApplied = 0,
  kPairClockUnavailable = 1,
  kPairGenerationMismatch = 2,
  kPairSnapshotsMissing = 3,
  kPairInvalid = 4,
};

// Pose and affine histories: "appended" ... "discontinuity", else "unknown".
const wchar_t* HistoryAppendResultName(uint32_t result);
// Palette histories: as above with "bone-count" at 6 and "discontinuity" at 7.
const wchar_t* PaletteAppendResultName(uint32_t result);
const wchar_t* HistoryPairResultName(uint32_t result);

struct CameraPoseTraits {
  using Snapshot = CameraPose;
  static constexpr uint32_t kDiscontinuityResult = kAppendDiscontinuity;
  static bool IsValidSnapshot(const CameraPose& s) { return IsFiniteCameraPose(s); }
  static bool SameSnapshot(const CameraPose& a, const CameraPose& b) {
    return SameCameraPose(a, b);
  }
  static bool SameShape(const CameraPose&, const CameraPose&) { return true; }
  static bool IsDiscontinuous(const CameraPose& previous, const CameraPose& next, float ticks) {
    return IsCameraPoseJump(previous, next, ticks);
  }
  static bool BlendSnapshots(const CameraPose& older, const CameraPose& newer, double alpha,
                             CameraPose& out) {
    return BlendCameraPoses(older, newer, alpha, out);
  }
  using Prepared = PreparedCameraBlend;
  static bool Prepare(const CameraPose& older, const CameraPose& newer, Prepared& out) {
    return PrepareCameraBlend(older, newer, out);
  }
  static bool BlendPrepared(const Prepared& prepared, const CameraPose& older,
                            const CameraPose& newer, double alpha, CameraPose& out) {
    return BlendPreparedCameraPoses(prepared, older, newer, alpha, out);
  }
  static const wchar_t* AppendResultName(uint32_t result) {
    return HistoryAppendResultName(result);
  }
};

struct RigidTransformTraits {
  using Snapshot = RigidTransform;
  static constexpr uint32_t kDiscontinuityResult = kAppendDiscontinuity;
  static bool IsValidSnapshot(const RigidTransform& s) { return IsValidRigidTransform(s); }
  static bool SameSnapshot(const RigidTransform& a, const RigidTransform& b) {
    return SameRigidTransform(a, b);
  }
  static bool SameShape(const RigidTransform&, const RigidTransform&) { return true; }
  static bool IsDiscontinuous(const RigidTransform& previous, const RigidTransform& next,
                              float ticks) {
    return IsRigidTransformJump(previous, next, ticks);
  }
  static bool BlendSnapshots(const RigidTransform& older, const RigidTransform& newer,
                             double alpha, RigidTransform& out) {
    return BlendRigidTransforms(older, newer, alpha, out);
  }
  // The rotation every jump test and blend of a stored transform needs, worked out as it arrives.
  using Derived = Quaternion;
  static Quaternion Derive(const RigidTransform& s) { return QuaternionFromMatrix(s.m); }
  static bool IsDiscontinuousDerived(const RigidTransform& previous, const Quaternion& previousRotation,
                                     const RigidTransform& next, const Quaternion& nextRotation,
                                     float ticks) {
    return IsRigidTransformJump(previous, previousRotation, next, nextRotation, ticks);
  }
  using Prepared = PreparedRigidBlend;
  static bool PrepareDerived(const RigidTransform& older, const Quaternion& olderRotation,
                             const RigidTransform& newer, const Quaternion& newerRotation,
                             Prepared& out) {
    PrepareValidRigidBlend(older, olderRotation, newer, newerRotation, out);
    return true;
  }
  static bool BlendPrepared(const Prepared& prepared, const RigidTransform&, const RigidTransform&,
                            double alpha, RigidTransform& out) {
    return BlendPreparedTransforms(prepared, alpha, out);
  }
  static const wchar_t* AppendResultName(uint32_t result) {
    return HistoryAppendResultName(result);
  }
};

struct BonePaletteTraits {
  using Snapshot = BonePalette;
  static constexpr uint32_t kDiscontinuityResult = kPaletteAppendDiscontinuity;
  static constexpr uint32_t kShapeChangedResult = kPaletteAppendBoneCount;
  static bool IsValidSnapshot(const BonePalette& s) { return IsValidBonePalette(s); }
  static bool SameSnapshot(const BonePalette& a, const BonePalette& b) {
    return SameBonePalette(a, b);
  }
  static bool SameShape(const BonePalette& a, const BonePalette& b) {
    return a.boneCount == b.boneCount;
  }
  static bool IsDiscontinuous(const BonePalette& previous, const BonePalette& next, float ticks) {
    return IsBonePaletteJump(previous, next, ticks);
  }
  static bool BlendSnapshots(const BonePalette& older, const BonePalette& newer, double alpha,
                             BonePalette& out) {
    return BlendBonePalettes(older, newer, alpha, out);
  }
  // Stored palettes passed the validity test when they were appended; the blend skips it.
  struct Prepared {};
  static bool Prepare(const BonePalette&, const BonePalette&, Prepared&) { return true; }
  static bool BlendPrepared(const Prepared&, const BonePalette& older, const BonePalette& newer,
                            double alpha, BonePalette& out) {
    return BlendValidBonePalettes(older, newer, alpha, out);
  }
  static const wchar_t* AppendResultName(uint32_t result) {
    return PaletteAppendResultName(result);
  }
};

template <typename Traits>
concept PreparesBlend = requires { typename Traits::Prepared; };

template <typename Traits>
struct PreparedOf {
  struct type {};
};
template <PreparesBlend Traits>
struct PreparedOf<Traits> {
  using type = typename Traits::Prepared;
};

template <typename Traits>
concept DerivesSnapshots = requires { typename Traits::Derived; };

template <typename Traits>
struct DerivedOf {
  struct type {};
};
template <DerivesSnapshots Traits>
struct DerivedOf<Traits> {
  using type = typename Traits::Derived;
};

template <typename Traits>
class SnapshotHistory {
 public:
  using Snapshot = typename Traits::Snapshot;
  // What the payload works out of each stored snapshot once (a transform's rotation), if anything.
  using DerivedSnapshot = typename DerivedOf<Traits>::type;

  struct Entry {
    uint64_t tick = 0;
    Snapshot snapshot = {};
    [[no_unique_address]] DerivedSnapshot derived = {};
  };

  // Stores the state of completed tick `tick`; returns a HistoryAppendResult (palette:
  // PaletteAppendResult). Every refusal leaves the offending snapshot as the only entry.
  uint32_t AppendSnapshot(uint64_t tick, uint64_t clockGeneration, const Snapshot& snapshot) {
    if (!Traits::IsValidSnapshot(snapshot)) {
      ClearHistory();
      return kAppendInvalid;
    }
    if constexpr (DerivesSnapshots<Traits>) {
      return AppendValid(tick, clockGeneration, snapshot, Traits::Derive(snapshot));
    } else {
      return AppendValid(tick, clockGeneration, snapshot, DerivedSnapshot{});
    }
  }

  // The same, for a caller that has already checked the snapshot and worked out what the payload
  // derives of it: a capture reads, tests and converts each matrix once.
  uint32_t AppendValidSnapshot(uint64_t tick, uint64_t clockGeneration, const Snapshot& snapshot,
                               const DerivedSnapshot& derived) {
    return AppendValid(tick, clockGeneration, snapshot, derived);
  }

  // Blends the two ticks the frame's sample names; returns a HistoryPairResult. `blended` is
  // all zero unless the result is "applied".
  uint32_t PairSnapshots(const ClockSample& sample, Snapshot& blended) const {
    const uint32_t result = PairInto(sample, blended);
    if (result != kPairApplied) blended = Snapshot{};
    return result;
  }

  void ClearHistory() {
    head_ = 0;
    count_ = 0;
    generation_ = 0;
    bound_ = false;
    prepared_ = false;
  }

  uint32_t count() const { return count_; }
  bool bound() const { return bound_; }
  uint64_t generation() const { return generation_; }
  // Entry i, 0 the oldest; only meaningful for i < count().
  const Entry& entry(uint32_t i) const { return At(i); }

 private:
  const Entry& At(uint32_t i) const { return entries_[(head_ + i) & 1u]; }

  uint32_t AppendValid(uint64_t tick, uint64_t clockGeneration, const Snapshot& snapshot,
                       const DerivedSnapshot& derived) {
    if (!bound_ || generation_ != clockGeneration) {
      Rebind(clockGeneration);
      Push(tick, snapshot, derived);
      return kAppendGeneration;
    }
    if (count_ == 0) {
      Push(tick, snapshot, derived);
      return kAppendAppended;
    }
    const Entry& last = At(count_ - 1);
    if (tick < last.tick) {
      Rebind(clockGeneration);
      Push(tick, snapshot, derived);
      return kAppendNonMonotonic;
    }
    if (tick == last.tick) {
      if (Traits::SameSnapshot(last.snapshot, snapshot)) return kAppendUnchanged;
      Rebind(clockGeneration);
      Push(tick, snapshot, derived);
      return kAppendSameTickMutation;
    }
    if constexpr (requires { Traits::kShapeChangedResult; }) {
      if (!Traits::SameShape(last.snapshot, snapshot)) {
        Rebind(clockGeneration);
        Push(tick, snapshot, derived);
        return Traits::kShapeChangedResult;
      }
    }
    if (tick - last.tick == 1 && !IsDiscontinuous(last, snapshot, derived)) {
      Push(tick, snapshot, derived);
      return kAppendAppended;
    }
    Rebind(clockGeneration);
    Push(tick, snapshot, derived);
    return Traits::kDiscontinuityResult;
  }

  static bool IsDiscontinuous(const Entry& last, const Snapshot& next, const DerivedSnapshot& derived) {
    if constexpr (DerivesSnapshots<Traits>) {
      return Traits::IsDiscontinuousDerived(last.snapshot, last.derived, next, derived, 1.0f);
    } else {
      return Traits::IsDiscontinuous(last.snapshot, next, 1.0f);
    }
  }

  void Push(uint64_t tick, const Snapshot& snapshot, const DerivedSnapshot& derived) {
    uint32_t slot;
    if (count_ < 2) {
      slot = (head_ + count_) & 1u;
      ++count_;
    } else {
      // Over the oldest, which becomes the newest.
      slot = head_;
      head_ ^= 1u;
    }
    entries_[slot].tick = tick;
    entries_[slot].snapshot = snapshot;
    entries_[slot].derived = derived;
    if constexpr (DerivesSnapshots<Traits>) {
      prepared_ = count_ == 2 && Traits::PrepareDerived(At(0).snapshot, At(0).derived, At(1).snapshot,
                                                        At(1).derived, preparedBlend_);
    } else if constexpr (PreparesBlend<Traits>) {
      prepared_ = count_ == 2 && Traits::Prepare(At(0).snapshot, At(1).snapshot, preparedBlend_);
    }
  }

  void Rebind(uint64_t clockGeneration) {
    ClearHistory();
    generation_ = clockGeneration;
    bound_ = true;
  }

  uint32_t PairInto(const ClockSample& sample, Snapshot& blended) const {
    // A sample naming one tick twice, or its ticks in reverse, has nothing to blend between.
    if (sample.kind != kSampleInterpolated || sample.previousTick >= sample.currentTick) {
      return kPairClockUnavailable;
    }
    if (!bound_ || generation_ != sample.generation) return kPairGenerationMismatch;
    const Entry* previous = nullptr;
    const Entry* current = nullptr;
    for (uint32_t i = 0; i < count_; ++i) {
      const Entry& e = At(i);
      if (e.tick == sample.previousTick) previous = &e;
      if (e.tick == sample.currentTick) current = &e;
    }
    if (previous == nullptr || current == nullptr) return kPairSnapshotsMissing;
    if (!Traits::SameShape(previous->snapshot, current->snapshot)) return kPairSnapshotsMissing;
    bool ok;
    if constexpr (PreparesBlend<Traits>) {
      // Two ticks in order are the two entries the preparation was made for.
      ok = prepared_ && previous == &At(0) && current == &At(1)
               ? Traits::BlendPrepared(preparedBlend_, previous->snapshot, current->snapshot,
                                       sample.alpha, blended)
               : Traits::BlendSnapshots(previous->snapshot, current->snapshot, sample.alpha,
                                        blended);
    } else {
      ok = Traits::BlendSnapshots(previous->snapshot, current->snapshot, sample.alpha, blended);
    }
    return ok ? kPairApplied : kPairInvalid;
  }

  using PreparedBlend = typename PreparedOf<Traits>::type;

  Entry entries_[2] = {};
  uint32_t head_ = 0;
  uint32_t count_ = 0;
  uint64_t generation_ = 0;
  bool bound_ = false;
  bool prepared_ = false;  // preparedBlend_ holds the work for entries 0 and 1
  [[no_unique_address]] PreparedBlend preparedBlend_ = {};
};

using CameraPoseHistory = SnapshotHistory<CameraPoseTraits>;
using RigidTransformHistory = SnapshotHistory<RigidTransformTraits>;
using BonePaletteHistory = SnapshotHistory<BonePaletteTraits>;

}  // namespace driftglass
