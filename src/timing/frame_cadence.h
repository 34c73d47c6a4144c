#pragma once

#include <atomic>
#include <cstdint>

namespace driftglass {

// Frame-interval statistics of one report, every value at the middle of its 10 µs bucket.
struct FrameCadenceStats {
  uint64_t samples = 0;
  double meanMs = 0.0;
  double p50Ms = 0.0;
  double p95Ms = 0.0;
  double p99Ms = 0.0;
  double maxMs = 0.0;
  uint32_t longGap = 0;
  uint32_t overflow = 0;
  uint32_t invalid = 0;
};

// Lock-free histogram of render intervals: the render thread records, the reporter thread takes
// and empties it. Only RecordFrame touches the previous counter, so it needs no atomic.
class FrameCadenceHistogram {
 public:
  static constexpr uint32_t kBucketCount = 10001;
  static constexpr uint32_t kBucketMicros = 10;
  static constexpr uint64_t kOverflowMicros = 100000;
  static constexpr uint64_t kLongGapMicros = 250000;

  FrameCadenceHistogram() = default;
  FrameCadenceHistogram(const FrameCadenceHistogram&) = delete;
  FrameCadenceHistogram& operator=(const FrameCadenceHistogram&) = delete;

  void RecordFrame(int64_t counter, int64_t frequency);
  FrameCadenceStats TakeCadenceSnapshot();

 private:
  std::atomic<uint32_t> buckets_[kBucketCount] = {};
  std::atomic<uint32_t> longGap_{0};
  std::atomic<uint32_t> overflow_{0};
  std::atomic<uint32_t> invalid_{0};
  int64_t lastCounter_ = 0;
};

FrameCadenceHistogram& ProcessFrameCadence();

}  // namespace driftglass
