#pragma once
// The engine's entry points as the host exports them to itself: names, addresses, and whether a
// detour has patched them.

#include <cstdint>

// The engine's member functions take their object in ECX.
#define THISCALL __attribute__((thiscall))

// Calls an entry point as the engine calls a member function of `self`.
template <typename... A>
void CallMember(void (*entry)(), void* self, A... arguments) {
  reinterpret_cast<void(THISCALL*)(void*, A...)>(entry)(self, arguments...);
}

struct EntryPoint {
  const char* name;
  uint8_t* address;
};

constexpr int kEntryPointCount = 26;
const EntryPoint* EntryPoints();
const EntryPoint* FindEntryPoint(const char* name);

// A detour writes a 5-byte JMP over the first bytes; the engine's own code never starts so.
bool IsPatched(const EntryPoint& entry);
uint32_t RvaOf(const void* address);

// Bytes of every entry point as built, taken before any plug-in is loaded.
void SnapshotEntryBytes();
// Bytes past the first five must be unchanged; unpatched entries must be unchanged entirely.
bool EntryBytesIntact(const EntryPoint& entry, int index);

extern "C" {
void engine_cEngine_Run();
void engine_cUpdater_RunMessage();
void engine_cScene_Render();
void engine_cCamera_SetPosition();
void engine_cCamera_SetPitch();
void engine_cCamera_SetYaw();
void engine_cCamera_SetRoll();
void engine_cCamera_AddPitch();
void engine_cCamera_AddYaw();
void engine_cLuxPlayer_AddYaw();
void engine_cLuxPlayer_AddPitch();
void engine_cLuxPlayerHands_PostUpdate();
void engine_iLuxProp_OnUpdate();
void engine_iLuxEnemy_OnUpdate();
void engine_iEntity3D_GetWorldMatrix();
void engine_iEntity3D_GetEntityParent();
void engine_cPhysicsBodyNewton_GetEnabled();
void engine_cPhysicsBodyNewton_TransformCallback();
void engine_cMeshEntity_UpdateGraphicsForFrame();
void engine_iParticleEmitter_UpdateGraphicsForViewport();
void engine_cPostEffect_ImageTrail_RenderEffect();
void engine_cSubMeshEntity_GetModelMatrix();
void engine_cMouseSDL_Update();
void engine_cMouseSDL_GetRelPosition();
void engine_cGui_SendMousePos();
void engine_cLuxInputHandler_UpdateGamePlayerInput();
}
