#include "hands/hands_staging.h"

#include "hands/hands_host_layout.h"
#include "host/guarded_memory.h"
#include "shared/entity_layout.h"

namespace driftglass {
namespace {

// The active hand object is the held one; two active ones with different meshes leave it
// ambiguous, which fails the stage.
bool FindHeldObject(const void* hands, StagedHands& out) {
  void* entries[kMaxHandObjects];
  uint32_t count = 0;
  if (!ReadHostPointerArray(hands, kHandsHandObjects, kMaxHandObjects, entries, count)) {
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    void* const handObject = entries[i];
    void* mesh = nullptr;
    if (handObject == nullptr || !ReadHostValue(handObject, kHandObjectMesh, mesh)) return false;
    if (mesh == nullptr) continue;
    bool active = false;
    if (!ReadMeshActive(mesh, active)) return false;
    if (!active) continue;
    if (out.heldObject == nullptr) {
      out.heldObject = handObject;
      out.heldMesh = mesh;
    } else if (out.heldMesh != mesh) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadStagedHands(void* hands, uintptr_t getWorldMatrix, StagedHands& out) {
  out = StagedHands{};
  out.hands = hands;
  void* mesh = nullptr;
  if (!ReadHostValue(hands, kHandsMesh, mesh) || mesh == nullptr) return false;
  bool active = false;
  if (!ReadMeshActive(mesh, active) || !active) return false;
  out.mesh = mesh;
  if (!ReadRigidTransform(CallGetWorldMatrix(getWorldMatrix, mesh), out.root)) return false;
  if (!FindHeldObject(hands, out)) return false;
  out.staged = true;
  return true;
}

}  // namespace driftglass
