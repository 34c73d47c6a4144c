#include "input/look_rig.h"

#include <cmath>
#include <cstdio>

#include "camera/camera_rig.h"
#include "engine/entry_points.h"
#include "record/host_record.h"
#include "record/logic_digest.h"
#include "truth/yaw_transform.h"

namespace {

constexpr double kSettledTolerance = 1e-6;
// A blend of two poses at the limit may round a hair past it; one count turns the view far more.
constexpr double kLimitTolerance = 1e-5;
// Smoothing averages four ticks' counts, so the view turns on for three ticks after the last.
constexpr uint32_t kSmoothingTailTicks = 3;
constexpr uint32_t kTicksAfterStop = 2;

LookRig gLook;

// Halves away from zero, as the game rounds its scaled counts.
double RoundedUnits(double product) { return std::isfinite(product) ? std::round(product) : 0.0; }

}  // namespace

LookRig& Look() { return gLook; }

void LookRig::Init(const Scenario& scenario, HostRecord* record) {
  *this = LookRig{};
  scenario_ = &scenario;
  record_ = record;
}

void LookRig::Turn(cLuxPlayer* player, float sensitivity, bool invertY, float countX, float countY) {
  double productX = static_cast<double>(countX) * sensitivity;
  double productY = static_cast<double>(countY) * sensitivity;
  if (!std::isfinite(productX) || !std::isfinite(productY)) productX = productY = 0.0;
  // Moving the mouse right or away turns the view right or up: against the count's sign.
  const double pitchSign = invertY ? 1.0 : -1.0;
  const float yaw = static_cast<float>(-RoundedUnits(productX)) * kLookUnit;
  const float pitch = static_cast<float>(pitchSign * RoundedUnits(productY)) * kLookUnit;
  exactYaw_ -= productX * kLookUnit;
  exactPitch_ += pitchSign * productY * kLookUnit;
  yawRounding_ += std::fabs(-productX * kLookUnit - yaw);
  pitchRounding_ += std::fabs(pitchSign * productY * kLookUnit - pitch);
  roundedYaw_ += yaw;
  roundedPitch_ += pitch;
  reinterpret_cast<void(THISCALL*)(void*, float)>(engine_cLuxPlayer_AddYaw)(player, yaw);
  reinterpret_cast<void(THISCALL*)(void*, float)>(engine_cLuxPlayer_AddPitch)(player, pitch);
}

// The engine's bytes double an active player's argument in place before the host's code runs.
void LookRig::PlayerReceived(const cLuxPlayer* player, float held, bool pitch) {
  if (player->mbActive == 0) return;  // an idle player's pitch comes from elsewhere
  (pitch ? playerPitch_ : playerYaw_) += static_cast<double>(held) * 0.5;
}

void LookRig::DigestLogic(LogicDigest& d) const {
  d.Value(kLogicAngles, "player_received_yaw", playerYaw_);
  d.Value(kLogicAngles, "player_received_pitch", playerPitch_);
}

void LookRig::AfterFrame(uint32_t frameIndex, uint32_t completedTicks, bool sendsDone, uint32_t lastMotionTick) {
  if (scenario_->cameraMotion != CameraMotion::kMouse || !Rig().drewView()) return;
  ++frames_;
  const DrawnPose& drawn = Rig().drawn();
  const double beyond = std::fabs(static_cast<double>(drawn.pitch)) - kPitchLimit;
  if (beyond > worstBeyondLimit_ || std::isnan(beyond)) worstBeyondLimit_ = beyond;
  if (!(beyond <= kLimitTolerance)) ++beyondLimitFrames_;
  if (sendsDone && stillFromTicks_ == 0) stillFromTicks_ = completedTicks + kTicksAfterStop;
  const uint32_t tail = kTicksAfterStop + (scenario_->smoothing ? kSmoothingTailTicks : 0);
  if (stillFromTicks_ == 0 || completedTicks < stillFromTicks_ || completedTicks < lastMotionTick + tail) return;
  if (Rig().RollStep() != 0.0f) return;  // a view rolling between its ticks is a blend, not the game's own
  ++settledFrames_;
  const ViewAngles& view = Rig().view();
  const double yawOff = std::fabs(Wrap(static_cast<double>(drawn.yaw) - view.yaw));  // a turn apart is the same view
  const double pitchOff = std::fabs(static_cast<double>(drawn.pitch) - view.pitch);
  const double off = yawOff > pitchOff || std::isnan(yawOff) ? yawOff : pitchOff;
  if (!(off <= kSettledTolerance)) {
    if (offViewFrames_++ == 0) firstOffViewFrame_ = frameIndex;
    worstOffView_ = std::isnan(off) || off > worstOffView_ ? off : worstOffView_;
  }
}

void LookRig::Finish(bool writeFact) {
  if (scenario_->cameraMotion == CameraMotion::kMouse) {
    char detail[160];
    if (settledFrames_ == 0) {
      std::snprintf(detail, sizeof(detail), "no frame was drawn two ticks after the mouse's last move arrived");
    } else {
      std::snprintf(detail, sizeof(detail),
                    "%u of %u frames after the mouse stopped drew a view off the game's own (worst %.3g rad, "
                    "first at frame %u)",
                    offViewFrames_, settledFrames_, worstOffView_, firstOffViewFrame_);
    }
    record_->Invariant("view-settles", settledFrames_ > 0 && offViewFrames_ == 0, detail);
    std::snprintf(detail, sizeof(detail), "%u of %u drawn views pitched beyond +-%.2g (at most %.3g rad past it)",
                  beyondLimitFrames_, frames_, kPitchLimit, worstBeyondLimit_ > 0 ? worstBeyondLimit_ : 0.0);
    record_->Invariant("view-within-pitch-limits", beyondLimitFrames_ == 0, detail);
  }
  if (!writeFact) return;
  record_->Line("fact look player_yaw_sum=%.12g player_pitch_sum=%.12g exact_yaw_sum=%.12g exact_pitch_sum=%.12g "
                "rounded_yaw_sum=%.12g rounded_pitch_sum=%.12g unit=%.9g",
                playerYaw_, playerPitch_, exactYaw_, exactPitch_, roundedYaw_, roundedPitch_,
                static_cast<double>(kLookUnit));
}
