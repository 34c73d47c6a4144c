#pragma once
// The presentation limiter's place in the frame: after the engine's post-render message, while
// the render unlock is active, the loop waits for the next frame's deadline at TargetFPS or, with
// TargetFPS 0, at the refresh rate of the display showing the game. The next frame's one time
// reading comes after the wait and after the ticks that came due during it.
//
// With TargetFPS 0 the display is looked at again twice a second, before the wait so the look
// costs no frame time: a mode change on the same monitor (a fullscreen switch, a laptop on
// battery) or a move to another one is followed, and a display whose rate cannot be read paces
// nothing until it can. Each change is logged once, not each look.

#include <cstdint>

#include "timing/frame_pacer.h"
#include "timing/frame_rate.h"

namespace driftglass {

class DiagnosticLog;

// Where the limiter learns the rate of the display showing the game.
class DisplayRateSource {
 public:
  virtual FrameRate ReadDisplayRate() = 0;

 protected:
  ~DisplayRateSource() = default;
};

class PresentationLimiter {
 public:
  PresentationLimiter(PacerPlatform& platform, DisplayRateSource& display, DiagnosticLog& log)
      : platform_(platform), display_(display), log_(log), pacer_(platform) {}
  // targetFps 0: the display's rate. Off paces nothing.
  void Configure(bool on, uint32_t targetFps, int64_t frequency);
  // One frame's wait; nothing while the render unlock is not active.
  PacerCounts PaceFrame(bool renderUnlockActive);
  const FrameRate& pacingRate() const { return pacer_.rate(); }
  int64_t margin() const { return pacer_.margin(); }

 private:
  enum class Logged { kNothing, kRate, kUnreadable };
  void FollowDisplay();

  PacerPlatform& platform_;
  DisplayRateSource& display_;
  DiagnosticLog& log_;
  FramePacer pacer_;
  bool on_ = false;
  uint32_t targetFps_ = 0;
  int64_t frequency_ = 0;
  bool checked_ = false;
  int64_t nextCheck_ = 0;
  Logged logged_ = Logged::kNothing;
  FrameRate loggedRate_;
};

// The process's limiter, configured by the installer and run by the frame sequence.
PresentationLimiter& ProcessPresentationLimiter();
PacerCounts PaceFrameNow();

}  // namespace driftglass
