#pragma once

#include "shared/rigid_transform.h"

namespace driftglass {

// A matrix handed to the renderer in place of the host's, valid until the next Apply.
struct ModelMatrixSlot {
  const void* subMesh = nullptr;
  RigidTransform matrix = {};
};

}  // namespace driftglass
