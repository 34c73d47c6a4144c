#include "timing/frame_cadence.h"

#include <cmath>

namespace driftglass {
namespace {

double BucketMiddleMs(uint32_t bucket) {
  return static_cast<double>(uint64_t{bucket} * FrameCadenceHistogram::kBucketMicros + 5) / 1000.0;
}

double PercentileMs(const uint32_t* counts, uint64_t samples, double fraction) {
  uint64_t target = static_cast<uint64_t>(std::ceil(static_cast<double>(samples) * fraction));
  if (target < 1) target = 1;
  uint64_t running = 0;
  for (uint32_t i = 0; i < FrameCadenceHistogram::kBucketCount; ++i) {
    running += counts[i];
    if (running >= target) return BucketMiddleMs(i);
  }
  return 100.0;
}

}  // namespace

void FrameCadenceHistogram::RecordFrame(int64_t counter, int64_t frequency) {
  if (counter <= 0 || frequency <= 0) {
    invalid_.fetch_add(1);
    return;
  }
  const int64_t previous = lastCounter_;
  lastCounter_ = counter;
  if (previous == 0) return;

  const int64_t delta = counter - previous;
  if (delta <= 0) {
    invalid_.fetch_add(1);
    return;
  }
  const double micros = static_cast<double>(delta) * 1000000.0 / static_cast<double>(frequency);
  if (!std::isfinite(micros) || !(micros > 0.0)) {
    invalid_.fetch_add(1);
    return;
  }
  // Decided in double first: converting a value beyond 64 bits to an integer is undefined.
  const double rounded = micros + 0.5;
  if (rounded >= static_cast<double>(kLongGapMicros + 1)) {
    longGap_.fetch_add(1);
    return;
  }
  uint64_t whole = static_cast<uint64_t>(rounded);
  if (whole == 0) {
    invalid_.fetch_add(1);
    return;
  }
  if (whole > kOverflowMicros) {
    overflow_.fetch_add(1);
    whole = kOverflowMicros;
  }
  buckets_[whole / kBucketMicros].fetch_add(1);
}

FrameCadenceStats FrameCadenceHistogram::TakeCadenceSnapshot() {
  FrameCadenceStats stats;
  uint32_t counts[kBucketCount];
  uint64_t sumMicros = 0;
  uint32_t highest = 0;
  for (uint32_t i = 0; i < kBucketCount; ++i) {
    counts[i] = buckets_[i].exchange(0);
    stats.samples += counts[i];
    if (counts[i] > 0) {
      highest = i;
      sumMicros += (uint64_t{i} * kBucketMicros + 5) * counts[i];
    }
  }
  stats.longGap = longGap_.exchange(0);
  stats.overflow = overflow_.exchange(0);
  stats.invalid = invalid_.exchange(0);
  if (stats.samples > 0) {
    stats.meanMs =
        static_cast<double>(sumMicros) / static_cast<double>(stats.samples) / 1000.0;
    stats.p50Ms = PercentileMs(counts, stats.samples, 0.5);
    stats.p95Ms = PercentileMs(counts, stats.samples, 0.95);
    stats.p99Ms = PercentileMs(counts, stats.samples, 0.99);
    stats.maxMs = BucketMiddleMs(highest);
  }
  return stats;
}

FrameCadenceHistogram& ProcessFrameCadence() {
  static FrameCadenceHistogram histogram;
  return histogram;
}

}  // namespace driftglass
