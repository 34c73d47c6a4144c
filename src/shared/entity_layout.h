#pragma once
// What every feature reads of the engine's entities and meshes, and how its entity calls are made.

#include <cstdint>

#include "host/hook_slots.h"
#include "shared/rigid_transform.h"

namespace driftglass {

constexpr uintptr_t kMeshActive = 0x24;
constexpr uintptr_t kSubMeshOwner = 0x370;

using GetWorldMatrixFunction = const float*(DRIFTGLASS_THISCALL*)(void* entity);
using GetEntityParentFunction = void*(DRIFTGLASS_THISCALL*)(void* entity);

// The entity's cached world matrix; nullptr when the call is unresolved.
const float* CallGetWorldMatrix(uintptr_t getWorldMatrix, void* entity);
// nullptr when unresolved or when the entity has no parent.
void* CallGetEntityParent(uintptr_t getEntityParent, void* entity);

// Copies a host matrix that must be readable and rigid.
bool ReadRigidTransform(const float* source, RigidTransform& out);
// The same for a matrix whose bytes were tested just before, with no host call since.
bool ParseRigidTransform(const float* source, RigidTransform& out);

// A mesh entity's active flag: false when unreadable or neither 0 nor 1.
bool ReadMeshActive(const void* mesh, bool& active);

// Reads a host begin/end pair of pointer arrays into entries. An empty array (equal pointers)
// succeeds with count 0; null, reversed, misaligned, longer than maxEntries or unreadable fails.
bool ReadHostPointerArray(const void* object, uintptr_t beginOffset, uint32_t maxEntries,
                          void** entries, uint32_t& count);

}  // namespace driftglass
