#pragma once
// Which tracked body a sub-mesh follows this frame: its Grunt, the body it is attached to, the
// only moving body of its prop, or the body found up its parent chain.

#include <cstdint>

#include "world/world_body_table.h"
#include "world/world_frame_tables.h"

namespace driftglass {

// Sub-mesh entity: the physics body it is attached to (only compared with tracked bodies).
constexpr uintptr_t kSubMeshAttachedBody = 0x288;
constexpr uint32_t kMaxParentSteps = 16;

enum WorldBodyChoiceWay : uint32_t {
  kWorldChoiceNone = 0,
  kWorldChoiceGrunt = 1,
  kWorldChoiceDirectParent = 2,
  kWorldChoiceSingleProp = 3,
  kWorldChoiceParentWalk = 4,
};

struct WorldBodyChoice {
  const WorldBodyEntry* entry = nullptr;
  uint32_t way = kWorldChoiceNone;
  // The mesh has several tracked bodies and none of them could be tied to the sub-mesh.
  bool mismatch = false;
  // The owner mesh's entry in the frame's mesh table, if it has one.
  const WorldFrameMesh* mesh = nullptr;
};

struct WorldSubMeshLinks {
  void* subMesh = nullptr;
  const void* ownerMesh = nullptr;
  const void* attachedBody = nullptr;
};

WorldBodyChoice ChooseWorldBody(const WorldSubMeshLinks& links, const WorldFrameMeshes& meshes,
                                const WorldFrameBodies& bodies, uintptr_t getEntityParent);

}  // namespace driftglass
