#pragma once
// What one PostUpdate of the hands leaves for the next completed tick: who the hands are, where
// their root stands, and which hand object (if any) they hold.

#include <cstdint>

#include "shared/rigid_transform.h"

namespace driftglass {

struct StagedHands {
  void* hands = nullptr;
  void* mesh = nullptr;
  void* heldObject = nullptr;
  void* heldMesh = nullptr;
  RigidTransform root = {};
  bool staged = false;
};

// Reads the hands as the host left them; false for anything unreadable or implausible.
// out.staged is set only on success.
bool ReadStagedHands(void* hands, uintptr_t getWorldMatrix, StagedHands& out);

}  // namespace driftglass
