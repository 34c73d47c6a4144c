#include "frame/frame_pacing.h"

#include <string>

#include "input/raw_input_tap.h"
#include "log/diagnostic_log.h"
#include "shared/frame_sequence_settings.h"
#include "timing/display_rate.h"
#include "timing/render_unlock_state.h"
#include "timing/wall_clock.h"

namespace driftglass {
namespace {

// How often the display is looked at again, in paced frames (about twice a second at 240 Hz).
constexpr uint32_t kDisplayCheckFrames = 120;

struct PacingState {
  FramePacer pacer;
  HMONITOR monitor = nullptr;
  uint32_t framesSinceCheck = 0;
  bool off = false;
};

PacingState& State() {
  static PacingState state;
  return state;
}

void Log(uint32_t level, const std::wstring& text) {
  ProcessLog().WriteLine(level, text.c_str(), static_cast<uint32_t>(text.size()));
}

// With TargetFPS 0: the display's rate, read at the first paced frame and again when the game's
// window is on another display; false when it cannot be read (the limiter then stays off).
bool FollowDisplay(PacingState& s) {
  if (s.pacer.rate() != 0 && ++s.framesSinceCheck < kDisplayCheckFrames) return true;
  s.framesSinceCheck = 0;
  const HMONITOR monitor = DisplayOf(FindGameWindow());
  if (s.pacer.rate() != 0 && monitor == s.monitor) return true;
  s.monitor = monitor;
  const uint32_t rate = ReadRefreshRate(monitor);
  if (rate == 0) {
    Log(kLogWarn, L"Presentation limiter: the display's refresh rate could not be read; set [Timing] "
                  L"TargetFPS to pace. The limiter stays off.");
    return false;
  }
  if (rate != s.pacer.rate()) {
    s.pacer.Configure(rate, ProcessCounterFrequency());
    Log(kLogInfo, L"Presentation limiter: the display refreshes at " + std::to_wstring(rate) +
                      L" Hz; pacing at " + std::to_wstring(rate) + L" frames per second.");
  }
  return true;
}

}  // namespace

PacerCounts PaceFrameNow() {
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  if (!settings.presentationLimiter || ProcessRenderUnlockState().load() != kRenderUnlockActive) return {};
  PacingState& s = State();
  if (s.off) return {};
  if (settings.targetFps == 0) {
    if (!FollowDisplay(s)) {
      s.off = true;
      return {};
    }
  } else if (s.pacer.rate() != settings.targetFps) {
    s.pacer.Configure(settings.targetFps, ProcessCounterFrequency());
  }
  return s.pacer.Pace();
}

}  // namespace driftglass
