#include "engine/entry_points.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr int kCheckedBytes = 64;

#define ENTRY(name, symbol) {name, reinterpret_cast<uint8_t*>(&symbol)}
const EntryPoint kEntries[kEntryPointCount] = {
    ENTRY("cEngine::Run", engine_cEngine_Run),
    ENTRY("cUpdater::RunMessage", engine_cUpdater_RunMessage),
    ENTRY("cScene::Render", engine_cScene_Render),
    ENTRY("cCamera::SetPosition", engine_cCamera_SetPosition),
    ENTRY("cCamera::SetPitch", engine_cCamera_SetPitch),
    ENTRY("cCamera::SetYaw", engine_cCamera_SetYaw),
    ENTRY("cCamera::SetRoll", engine_cCamera_SetRoll),
    ENTRY("cCamera::AddPitch", engine_cCamera_AddPitch),
    ENTRY("cCamera::AddYaw", engine_cCamera_AddYaw),
    ENTRY("cLuxPlayer::AddYaw", engine_cLuxPlayer_AddYaw),
    ENTRY("cLuxPlayer::AddPitch", engine_cLuxPlayer_AddPitch),
    ENTRY("cLuxPlayerHands::PostUpdate", engine_cLuxPlayerHands_PostUpdate),
    ENTRY("iLuxProp::OnUpdate", engine_iLuxProp_OnUpdate),
    ENTRY("iLuxEnemy::OnUpdate", engine_iLuxEnemy_OnUpdate),
    ENTRY("iEntity3D::GetWorldMatrix", engine_iEntity3D_GetWorldMatrix),
    ENTRY("iEntity3D::GetEntityParent", engine_iEntity3D_GetEntityParent),
    ENTRY("cPhysicsBodyNewton::GetEnabled", engine_cPhysicsBodyNewton_GetEnabled),
    ENTRY("cPhysicsBodyNewton transform callback", engine_cPhysicsBodyNewton_TransformCallback),
    ENTRY("cMeshEntity::UpdateGraphicsForFrame", engine_cMeshEntity_UpdateGraphicsForFrame),
    ENTRY("iParticleEmitter::UpdateGraphicsForViewport",
          engine_iParticleEmitter_UpdateGraphicsForViewport),
    ENTRY("cPostEffect_ImageTrail::RenderEffect", engine_cPostEffect_ImageTrail_RenderEffect),
    ENTRY("cSubMeshEntity::GetModelMatrix", engine_cSubMeshEntity_GetModelMatrix),
    ENTRY("cMouseSDL::Update", engine_cMouseSDL_Update),
    ENTRY("cMouseSDL::GetRelPosition", engine_cMouseSDL_GetRelPosition),
    ENTRY("cGui::SendMousePos", engine_cGui_SendMousePos),
    ENTRY("cLuxInputHandler::UpdateGamePlayerInput",
          engine_cLuxInputHandler_UpdateGamePlayerInput),
};
#undef ENTRY

uint8_t gBuiltBytes[kEntryPointCount][kCheckedBytes];

}  // namespace

const EntryPoint* EntryPoints() { return kEntries; }

const EntryPoint* FindEntryPoint(const char* name) {
  for (const EntryPoint& entry : kEntries) {
    if (strcmp(entry.name, name) == 0) return &entry;
  }
  return nullptr;
}

bool IsPatched(const EntryPoint& entry) { return entry.address[0] == 0xE9; }

uint32_t RvaOf(const void* address) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) -
                               reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
}

void SnapshotEntryBytes() {
  for (int i = 0; i < kEntryPointCount; ++i) {
    memcpy(gBuiltBytes[i], kEntries[i].address, kCheckedBytes);
  }
}

// An entry's own bytes end where the next entry point begins.
static int OwnLength(const EntryPoint& entry) {
  int length = kCheckedBytes;
  for (const EntryPoint& other : kEntries) {
    const ptrdiff_t distance = other.address - entry.address;
    if (distance > 0 && distance < length) length = static_cast<int>(distance);
  }
  return length;
}

bool EntryBytesIntact(const EntryPoint& entry, int index) {
  const int from = IsPatched(entry) ? 5 : 0;
  return memcmp(entry.address + from, gBuiltBytes[index] + from, OwnLength(entry) - from) == 0;
}
