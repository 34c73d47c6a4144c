#include "frame/presentation_limiter.h"

#include <cwchar>

#include "host/game_window.h"
#include "log/diagnostic_log.h"
#include "timing/display_rate.h"
#include "timing/render_unlock_state.h"
#include "timing/system_pacer_platform.h"

namespace driftglass {
namespace {

// Display checks per second with TargetFPS 0.
constexpr int64_t kDisplayChecksPerSecond = 2;

class GameDisplay final : public DisplayRateSource {
 public:
  FrameRate ReadDisplayRate() override { return reader_.Read(DisplayOf(FindGameWindow())); }

 private:
  DisplayRateReader reader_;
};

}  // namespace

void PresentationLimiter::Configure(bool on, uint32_t targetFps, int64_t frequency) {
  on_ = on && frequency > 0;
  targetFps_ = targetFps;
  frequency_ = frequency;
  checked_ = false;
  logged_ = Logged::kNothing;
  pacer_.Configure(on_ && targetFps != 0 ? WholeHertz(targetFps) : FrameRate{}, frequency);
}

PacerCounts PresentationLimiter::PaceFrame(bool renderUnlockActive) {
  if (!on_ || !renderUnlockActive) return {};
  if (targetFps_ == 0) FollowDisplay();
  return pacer_.Pace();
}

void PresentationLimiter::FollowDisplay() {
  const int64_t now = platform_.Now();
  if (checked_ && now < nextCheck_) return;
  checked_ = true;
  nextCheck_ = now + frequency_ / kDisplayChecksPerSecond;
  const FrameRate rate = display_.ReadDisplayRate();
  if (rate != pacer_.rate() || rate.known() != pacer_.rate().known()) pacer_.Configure(rate, frequency_);
  if (!rate.known()) {
    if (logged_ == Logged::kUnreadable) return;
    logged_ = Logged::kUnreadable;
    log_.WriteLine(kLogWarn,
                   L"Presentation limiter: the display's refresh rate could not be read; no frame is "
                   L"paced until it can be (looked at twice a second). Set [Timing] TargetFPS to pace "
                   L"at a rate of your own.");
    return;
  }
  if (logged_ == Logged::kRate && loggedRate_ == rate) return;
  logged_ = Logged::kRate;
  loggedRate_ = rate;
  wchar_t hertz[32];
  FormatFrameRate(rate, hertz, 32);
  wchar_t text[160];
  const int length = swprintf(text, 160, L"Presentation limiter: the display refreshes at %ls Hz; pacing at "
                                         L"%ls frames per second.", hertz, hertz);
  if (length > 0) log_.WriteLine(kLogInfo, text, static_cast<uint32_t>(length));
}

PresentationLimiter& ProcessPresentationLimiter() {
  static SystemPacerPlatform platform;
  static GameDisplay display;
  static PresentationLimiter limiter(platform, display, ProcessLog());
  return limiter;
}

PacerCounts PaceFrameNow() {
  return ProcessPresentationLimiter().PaceFrame(ProcessRenderUnlockState().load() == kRenderUnlockActive);
}

}  // namespace driftglass
