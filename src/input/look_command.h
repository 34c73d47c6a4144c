#pragma once
// Each smooth-off gameplay pass turns the view camera by some angle for the counts it read. The
// plug-in records that turn (the angular command) per tick and learns how many radians one scaled
// count turns the camera, so frames can show the part of a turn, and of counts still pending,
// that no tick has shown yet.

#include <cstdint>

#include "input/gameplay_input_frame.h"
#include "input/raw_input_tap.h"

namespace driftglass {

struct AngularCommand {
  uint64_t tick = 0;  // the tick whose completion contains the turn
  const void* camera = nullptr;
  float pitch = 0.0f;
  float yaw = 0.0f;
  bool direct = false;
  bool valid = false;
};

struct CommandScale {
  float scale = 0.0f;  // camera yaw radians per scaled count (negative)
  bool valid = false;
  const void* commandCamera = nullptr;
  float capturedSensitivity = 1.0f;
  bool capturedInvertY = false;
};

// Whether turns follow the counts exactly (direct) or something else shapes them (fallback).
struct DirectMode {
  bool direct = true;
  uint32_t streak = 0;
};

enum CommandShape : uint32_t {
  kShapeNone = 0,
  kShapeMatch = 1,
  kShapeMismatch = 2,
  kShapeNonFinite = 3,
};

struct LookState {
  AngularCommand ring[2];  // indexed by tick & 1
  CommandScale scale;
  DirectMode mode;
};

LookState& ProcessLookState();

// count × sensitivity rounded to the nearest integer, halves away from zero; 0 for a non-finite
// product, the 64-bit limits beyond them.
int64_t RoundScaled(int64_t count, float sensitivity);
// count × sensitivity × scale as a float angle; false when any input or the result is unusable.
bool CountsToAngle(int64_t count, float sensitivity, float scale, float& angle);
CommandShape ClassifyCommandShape(float pitch, float yaw, float expectedPitch, float expectedYaw);
// One matching command after a streak of twelve turns fallback back to direct; one bad one ends it.
void UpdateDirectMode(DirectMode& mode, CommandShape shape);

// A camera tap's measured change of pitch (or yaw) during a gameplay pass.
void AddCameraRotation(GameplayInputFrame& frame, MouseAudit& audit, const void* camera, float delta, bool pitch);

// At the end of a live pass: records the pass's turn for tick + 1 and learns from it.
void CaptureAngularCommand(LookState& look, const GameplayInputFrame& frame, MouseAudit& audit, uint64_t tick,
                           float sensitivity, bool invertY);

}  // namespace driftglass
