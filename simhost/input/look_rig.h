#pragma once
// The player's look. Each tick the gameplay pass turns the player by a whole number of units,
// rounding the scaled mouse count as the game does; the game keeps what it passed, what the exact
// product would have been and what the engine's player functions really received. With
// camera_motion=mouse it also judges every drawn view: never past the pitch limits, and the
// game's own view once the mouse has stopped and two more ticks have passed.

#include <cstdint>

#include "engine/engine_objects.h"
#include "scenarios/scenario.h"

class HostRecord;
class LogicDigest;

constexpr float kLookUnit = 0.0011f;  // radians per unit; the player turns its camera twice that

class LookRig {
 public:
  void Init(const Scenario& scenario, HostRecord* record);
  // The gameplay pass's turn for one tick's counts (averaged ones with smoothing).
  void Turn(cLuxPlayer* player, float sensitivity, bool invertY, float countX, float countY);
  // Inside cLuxPlayer::AddYaw / AddPitch, with the argument as the engine function holds it.
  void PlayerReceived(const cLuxPlayer* player, float held, bool pitch);
  // After each frame: whether every move has been sent, and the latest tick that read motion.
  void AfterFrame(uint32_t frameIndex, uint32_t completedTicks, bool sendsDone, uint32_t lastMotionTick);
  // The view's invariants, and the fact line when the scenario uses the mouse.
  void Finish(bool writeFact);
  // What the player's functions received, to the look's part of the digest.
  void DigestLogic(LogicDigest& digest) const;
  // How far, in all, each turn the game passed (whole units) was from its exact product, each tick
  // counted as far as it was either way: what handing the player exact turns instead may change in
  // the player's yaw and pitch (before the engine doubles them).
  double yawRoundingSoFar() const { return yawRounding_; }
  double pitchRoundingSoFar() const { return pitchRounding_; }

 private:
  const Scenario* scenario_ = nullptr;
  HostRecord* record_ = nullptr;
  double playerYaw_ = 0, playerPitch_ = 0;
  double exactYaw_ = 0, exactPitch_ = 0;
  double roundedYaw_ = 0, roundedPitch_ = 0;
  double yawRounding_ = 0, pitchRounding_ = 0;
  uint32_t stillFromTicks_ = 0;  // 0 until every move has been sent
  uint32_t settledFrames_ = 0;
  uint32_t offViewFrames_ = 0;
  uint32_t firstOffViewFrame_ = 0;
  double worstOffView_ = 0;
  uint32_t beyondLimitFrames_ = 0;
  double worstBeyondLimit_ = -1.0;
  uint32_t frames_ = 0;
};

LookRig& Look();
