#include "timing/presentation_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace driftglass {
namespace {

TEST(PresentationClock, InterpolatesBetweenTwoConsecutiveTicks) {
  PresentationClock clock;
  EXPECT_EQ(clock.SampleClock(1.0, 0.4, true).kind, kSampleUnavailable) << "no ticks yet";
  EXPECT_TRUE(clock.RecordTick(5, 1.000, false).accepted);
  EXPECT_EQ(clock.SampleClock(1.005, 0.4, true).kind, kSampleUnavailable) << "one tick";
  EXPECT_EQ(clock.RecordTick(6, 1.016, false).reason, kDiscontinuityNone);
  EXPECT_EQ(clock.SampleClock(1.026, 0.4, false).kind, kSampleUnavailable) << "no valid alpha";
  const ClockSample s = clock.SampleClock(1.027, 0.4, true);
  EXPECT_EQ(s.kind, kSampleInterpolated);
  EXPECT_EQ(s.previousTick, 5u);
  EXPECT_EQ(s.currentTick, 6u);
  EXPECT_EQ(s.alpha, 0.4);
  EXPECT_DOUBLE_EQ(s.presentationSeconds, (5 + 0.4) * 0.016666666666666666);
  EXPECT_EQ(clock.SampleClock(1.028, 1.7, true).alpha, 1.0) << "clamped, still interpolated";
  EXPECT_EQ(clock.SampleClock(1.029, NAN, true).kind, kSampleUnavailable);
}

TEST(PresentationClock, EveryBreakStartsANewGeneration) {
  PresentationClock clock;
  clock.RecordTick(6, 1.0, false);
  // The same tick twice: reset, the new tick kept alone.
  TickRecordResult r = clock.RecordTick(6, 1.01, false);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.reason, kDiscontinuityNonMonotonicTick);
  EXPECT_EQ(clock.generation(), 1u);
  EXPECT_EQ(clock.count(), 1u);
  EXPECT_EQ(clock.RecordTick(8, 1.02, false).reason, kDiscontinuityMissingSnapshots);
  EXPECT_EQ(clock.RecordTick(9, 1.32, false).reason, kDiscontinuityLongStall);
  EXPECT_EQ(clock.RecordTick(10, 1.30, false).reason, kDiscontinuityNonMonotonicWallTime);
  EXPECT_EQ(clock.RecordTick(11, 1.30 - 5e-10, false).reason, kDiscontinuityNone) << "within 1e-9";
  EXPECT_EQ(clock.RecordTick(12, 1.31, true).reason, kDiscontinuityExplicit);
  r = clock.RecordTick(13, INFINITY, false);
  EXPECT_FALSE(r.accepted);
  EXPECT_EQ(r.reason, kDiscontinuityNonMonotonicWallTime);
  EXPECT_EQ(clock.count(), 0u);
  EXPECT_EQ(clock.generation(), 6u);
  EXPECT_EQ(clock.lastReason(), kDiscontinuityNonMonotonicWallTime);
}

TEST(PresentationClock, SamplesThatBreakContinuityReset) {
  PresentationClock clock;
  clock.RecordTick(1, 1.0, false);
  clock.RecordTick(2, 1.016, false);
  EXPECT_EQ(clock.SampleClock(1.02, 0.5, true).kind, kSampleInterpolated);
  ClockSample s = clock.SampleClock(1.0199, 0.5, true);  // a render time going back
  EXPECT_EQ(s.kind, kSampleReset);
  EXPECT_EQ(s.reason, kDiscontinuityNonMonotonicWallTime);
  EXPECT_EQ(s.generation, 1u);
  EXPECT_EQ(s.previousTick, 0u);
  EXPECT_EQ(s.alpha, 0.0);
  EXPECT_EQ(clock.count(), 0u) << "a sample reset keeps no tick";

  clock.RecordTick(3, 2.0, false);
  clock.RecordTick(4, 2.016, false);
  EXPECT_EQ(clock.SampleClock(2.02, 0.5, true).kind, kSampleInterpolated);
  EXPECT_EQ(clock.SampleClock(2.3, 0.5, true).reason, kDiscontinuityLongStall) << "render gap";
  clock.RecordTick(5, 3.0, false);
  clock.RecordTick(6, 3.016, false);
  EXPECT_EQ(clock.SampleClock(3.02, 0.5, true).kind, kSampleInterpolated);
  EXPECT_EQ(clock.SampleClock(3.2, 0.5, true).kind, kSampleInterpolated);
  s = clock.SampleClock(3.3, 0.5, true);  // ticks stopped 0.28 s ago
  EXPECT_EQ(s.kind, kSampleReset);
  EXPECT_EQ(s.reason, kDiscontinuityLongStall);
  EXPECT_EQ(clock.SampleClock(NAN, 0.5, true).reason, kDiscontinuityNonMonotonicWallTime);
}

// Wall times may jitter back by up to 1e-9 s without breaking continuity, for renders and ticks.
TEST(PresentationClock, WallTimeMayStepBackOnlyWithinTolerance) {
  for (const auto& [stepBack, reset] : {std::pair{5e-10, false}, std::pair{2e-9, true}}) {
    SCOPED_TRACE(stepBack);
    PresentationClock clock;
    clock.RecordTick(1, 1.0, false);
    clock.RecordTick(2, 1.016, false);
    ASSERT_EQ(clock.SampleClock(1.02, 0.5, true).kind, kSampleInterpolated);
    const ClockSample s = clock.SampleClock(1.02 - stepBack, 0.5, true);
    EXPECT_EQ(s.kind, reset ? kSampleReset : kSampleInterpolated);
    EXPECT_EQ(s.reason, reset ? kDiscontinuityNonMonotonicWallTime : kDiscontinuityNone);
    EXPECT_EQ(s.generation, reset ? 1u : 0u);

    EXPECT_EQ(clock.RecordTick(3, 1.04, false).reason, kDiscontinuityNone);
    EXPECT_EQ(clock.RecordTick(4, 1.04 - stepBack, false).reason,
              reset ? kDiscontinuityNonMonotonicWallTime : kDiscontinuityNone);
    EXPECT_EQ(clock.generation(), reset ? 2u : 0u);
  }
}

struct ResidualStub {
  static inline double phaseSeen = -1;
  static bool Answer(double, double phase, double& alpha, double& raw) {
    phaseSeen = phase;
    raw = 0.9;
    alpha = raw - phase;
    return true;
  }
  static bool Fail(double, double, double& alpha, double& raw) {
    alpha = 0.7;  // a failed query's alpha must not be used
    raw = 1.4;
    return false;
  }
};

TEST(FrameFraction, PhaseIsAShareOfTheFrameInTicks) {
  FrameFractionClock frames;
  frames.SetPhaseDelayPercent(55);
  FrameFraction f = frames.ComputeFrameFraction(10.0, &ResidualStub::Answer);
  EXPECT_FALSE(f.alphaValid) << "the first frame only stores its time";
  f = frames.ComputeFrameFraction(10.0 + 1.0 / 120.0, &ResidualStub::Answer);
  EXPECT_TRUE(f.alphaValid);
  EXPECT_NEAR(f.phase, 0.275, 1e-12);
  EXPECT_NEAR(f.alpha, 0.9 - 0.275, 1e-12);
  f = frames.ComputeFrameFraction(10.0 + 1.0 / 120.0 + 0.1, &ResidualStub::Answer);
  EXPECT_NEAR(f.phase, 0.55, 1e-12) << "frame ticks clamp at one";
  f = frames.ComputeFrameFraction(20.0, &ResidualStub::Answer);
  EXPECT_FALSE(f.alphaValid) << "a gap above 0.25 s";
  EXPECT_EQ(f.phase, 0.0);
  f = frames.ComputeFrameFraction(20.01, &ResidualStub::Fail);
  EXPECT_FALSE(f.alphaValid);
  EXPECT_EQ(f.alpha, 0.0);
  EXPECT_EQ(f.raw, 1.4);
}

// The configured share scales the phase; 55 reproduces the factor 0.55 bit for bit, and an
// unconfigured clock draws at the timer's own time.
TEST(FrameFraction, PhaseFollowsTheConfiguredShare) {
  const double gaps[] = {1.0 / 75.0, 1.0 / 90.0, 1.0 / 144.0, 0.0071234567, 0.1};
  for (const int percent : {-1, 55, 0, 100, 30}) {
    SCOPED_TRACE(percent);
    FrameFractionClock frames;
    if (percent >= 0) frames.SetPhaseDelayPercent(static_cast<uint32_t>(percent));
    const double factor = percent < 0 ? 0.0 : (percent == 55 ? 0.55 : percent / 100.0);
    double now = 3.0;
    frames.ComputeFrameFraction(now, &ResidualStub::Answer);
    for (const double gap : gaps) {
      const double previous = now;
      now += gap;
      const FrameFraction f = frames.ComputeFrameFraction(now, &ResidualStub::Answer);
      EXPECT_EQ(f.phase, std::min((now - previous) / kTickSeconds, 1.0) * factor) << "gap " << gap;
      EXPECT_EQ(ResidualStub::phaseSeen, f.phase);
    }
  }
}

}  // namespace
}  // namespace driftglass
