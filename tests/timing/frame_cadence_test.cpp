#include "timing/frame_cadence.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <thread>

namespace driftglass {
namespace {

constexpr int64_t kFrequency = 10000000;  // what Wine and most Windows systems report
constexpr int64_t kStart = 123456789;

int64_t Micros(int64_t micros) { return micros * (kFrequency / 1000000); }

// Records frames separated by the given intervals in microseconds, starting at kStart.
void RecordIntervals(FrameCadenceHistogram& histogram, std::initializer_list<int64_t> micros) {
  int64_t counter = kStart;
  histogram.RecordFrame(counter, kFrequency);
  for (const int64_t interval : micros) {
    counter += Micros(interval);
    histogram.RecordFrame(counter, kFrequency);
  }
}

TEST(FrameCadence, FirstFramePrimesAndIntervalReportsAtBucketMiddle) {
  auto histogram = std::make_unique<FrameCadenceHistogram>();
  histogram->RecordFrame(kStart, kFrequency);
  FrameCadenceStats stats = histogram->TakeCadenceSnapshot();
  EXPECT_EQ(stats.samples, 0u);
  EXPECT_EQ(stats.invalid, 0u);

  // The interval that spans a snapshot lands in the next one: the previous reading is kept.
  histogram->RecordFrame(kStart + Micros(16667), kFrequency);
  stats = histogram->TakeCadenceSnapshot();
  EXPECT_EQ(stats.samples, 1u);
  EXPECT_DOUBLE_EQ(stats.meanMs, 16.665);
  EXPECT_DOUBLE_EQ(stats.p50Ms, 16.665);
  EXPECT_DOUBLE_EQ(stats.p95Ms, 16.665);
  EXPECT_DOUBLE_EQ(stats.p99Ms, 16.665);
  EXPECT_DOUBLE_EQ(stats.maxMs, 16.665);
  EXPECT_EQ(histogram->TakeCadenceSnapshot().samples, 0u);
}

TEST(FrameCadence, UnusableReadingsCountInvalid) {
  auto histogram = std::make_unique<FrameCadenceHistogram>();
  histogram->RecordFrame(0, kFrequency);
  histogram->RecordFrame(-5, kFrequency);
  histogram->RecordFrame(kStart, 0);
  histogram->RecordFrame(kStart, kFrequency);
  histogram->RecordFrame(kStart, kFrequency);      // no time passed
  histogram->RecordFrame(kStart - 10, kFrequency);  // counter went back
  histogram->RecordFrame(kStart - 7, kFrequency);   // 0.3 µs rounds to 0
  // Measured from the reading that went back, not from the largest one.
  histogram->RecordFrame(kStart - 7 + Micros(5000), kFrequency);
  const FrameCadenceStats stats = histogram->TakeCadenceSnapshot();
  EXPECT_EQ(stats.invalid, 6u);
  EXPECT_EQ(stats.samples, 1u);
  EXPECT_DOUBLE_EQ(stats.maxMs, 5.005);
  EXPECT_EQ(histogram->TakeCadenceSnapshot().invalid, 0u);
}

TEST(FrameCadence, LongIntervalsClampOrLeaveTheSamples) {
  auto histogram = std::make_unique<FrameCadenceHistogram>();
  RecordIntervals(*histogram, {150000, 300000, 100000, 250000, 250001, 4});
  FrameCadenceStats stats = histogram->TakeCadenceSnapshot();
  EXPECT_EQ(stats.overflow, 2u);  // 150 ms and exactly 250 ms
  EXPECT_EQ(stats.longGap, 2u);   // 300 ms and 250.001 ms
  EXPECT_EQ(stats.samples, 4u);   // 100 ms is the last unclamped value
  EXPECT_DOUBLE_EQ(stats.maxMs, 100.005);
  EXPECT_DOUBLE_EQ(stats.p50Ms, 100.005);
  EXPECT_DOUBLE_EQ(stats.meanMs, (3 * 100005.0 + 5.0) / 4 / 1000);

  // A gap far beyond 64 bits of microseconds is a long gap, not an undefined conversion.
  histogram->RecordFrame(1, 1);
  histogram->RecordFrame(INT64_MAX, 1);
  stats = histogram->TakeCadenceSnapshot();
  EXPECT_EQ(stats.longGap, 1u);
  EXPECT_EQ(stats.samples, 0u);
}

TEST(FrameCadence, PercentilesWalkTheBuckets) {
  auto histogram = std::make_unique<FrameCadenceHistogram>();
  int64_t counter = kStart;
  histogram->RecordFrame(counter, kFrequency);
  auto record = [&](int64_t micros, int times) {
    for (int i = 0; i < times; ++i) {
      counter += Micros(micros);
      histogram->RecordFrame(counter, kFrequency);
    }
  };
  record(10000, 90);
  record(20000, 9);
  record(50000, 1);
  const FrameCadenceStats stats = histogram->TakeCadenceSnapshot();
  EXPECT_EQ(stats.samples, 100u);
  EXPECT_DOUBLE_EQ(stats.p50Ms, 10.005);
  EXPECT_DOUBLE_EQ(stats.p95Ms, 20.005);
  EXPECT_DOUBLE_EQ(stats.p99Ms, 20.005);  // the 99th of 100 is the last 20 ms one
  EXPECT_DOUBLE_EQ(stats.maxMs, 50.005);
  EXPECT_DOUBLE_EQ(stats.meanMs, (90 * 10005.0 + 9 * 20005.0 + 50005.0) / 100 / 1000);
}

// One thread records while another takes snapshots: no interval is lost or counted twice.
TEST(FrameCadence, ConcurrentSnapshotsLoseNothing) {
  auto histogram = std::make_unique<FrameCadenceHistogram>();
  constexpr int kFrames = 200000;
  std::atomic<bool> done{false};
  std::thread recorder([&] {
    int64_t counter = kStart;
    for (int i = 0; i <= kFrames; ++i) {
      histogram->RecordFrame(counter, kFrequency);
      counter += Micros(1000 + i % 7000);
    }
    done = true;
  });
  uint64_t samples = 0;
  while (!done) samples += histogram->TakeCadenceSnapshot().samples;
  recorder.join();
  samples += histogram->TakeCadenceSnapshot().samples;
  EXPECT_EQ(samples, uint64_t{kFrames});
}

}  // namespace
}  // namespace driftglass
