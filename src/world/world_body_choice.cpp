#include "world/world_body_choice.h"

#include "shared/entity_layout.h"

namespace driftglass {
namespace {

// A table can keep an entry whose later registration failed; such an entry has no correction.
const WorldBodyEntry* Applied(const WorldBodyEntry* entry) {
  return entry != nullptr && entry->appliedThisFrame ? entry : nullptr;
}

}  // namespace

WorldBodyChoice ChooseWorldBody(const WorldSubMeshLinks& links, const WorldFrameMeshes& meshes,
                                const WorldFrameBodies& bodies, uintptr_t getEntityParent) {
  const WorldFrameMesh* const mesh = meshes.Find(links.ownerMesh);
  WorldBodyChoice choice;
  choice.mesh = mesh;
  const auto chosen = [&choice](const WorldBodyEntry* entry, uint32_t way) {
    choice.entry = entry;
    choice.way = way;
    return choice;
  };
  if (mesh != nullptr) {
    if (const WorldBodyEntry* grunt = Applied(mesh->grunt)) return chosen(grunt, kWorldChoiceGrunt);
  }
  if (links.attachedBody != nullptr) {
    if (const WorldBodyEntry* direct = Applied(bodies.Find(links.attachedBody))) {
      return chosen(direct, kWorldChoiceDirectParent);
    }
  }
  if (mesh == nullptr || !mesh->hasProp) return choice;
  if (mesh->trackedPropBodies == 1) {
    if (const WorldBodyEntry* single = Applied(mesh->singlePropBody)) {
      return chosen(single, kWorldChoiceSingleProp);
    }
  }
  if (mesh->trackedPropBodies < 2) return choice;

  choice.mismatch = true;
  if (getEntityParent == 0) return choice;
  void* entity = links.subMesh;
  for (uint32_t step = 0; step < kMaxParentSteps; ++step) {
    void* const parent = CallGetEntityParent(getEntityParent, entity);
    if (parent == nullptr || parent == entity) break;
    const WorldBodyEntry* const found = Applied(bodies.Find(parent));
    if (found != nullptr && found->kind == kWorldBodyProp && found->mesh == links.ownerMesh) {
      choice.mismatch = false;
      return chosen(found, kWorldChoiceParentWalk);
    }
    entity = parent;
  }
  return choice;
}

}  // namespace driftglass
