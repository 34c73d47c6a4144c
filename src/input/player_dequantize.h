#pragma once
// The game turns the player by a rounded number of units (count × sensitivity rounded) times a
// fixed angle per unit. Once that angle is known, the plug-in hands the player the angle of the
// exact product instead, so no tick loses up to half a unit of the mouse's motion.

#include <cstdint>

#include "input/gameplay_input_frame.h"
#include "input/raw_input_tap.h"

namespace driftglass {

struct LearnedUnit {
  float unit = 0.0f;  // the angle per rounded unit, positive
  bool learned = false;
};

LearnedUnit& ProcessLearnedUnit();

// The angle the player should receive for this pass's count; false leaves the host's angle.
bool DequantizePlayerAngle(const GameplayInputFrame& frame, LearnedUnit& learned, MouseAudit& audit, float angle,
                           int32_t count, bool isPitch, float& replaced);

}  // namespace driftglass
