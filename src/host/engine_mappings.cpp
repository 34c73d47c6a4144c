#include "host/engine_mappings.h"

namespace driftglass {

const wchar_t* EngineMappingName(uint32_t index) {
  static constexpr const wchar_t* kNames[kEngineMappingCount] = {
      L"cEngine::Run",
      L"cUpdater::RunMessage",
      L"cScene::Render",
      L"cCamera::SetPosition",
      L"cCamera::SetPitch",
      L"cCamera::SetYaw",
      L"cCamera::SetRoll",
      L"cCamera::AddPitch",
      L"cCamera::AddYaw",
      L"cLuxPlayer::AddYaw",
      L"cLuxPlayer::AddPitch",
      L"cLuxPlayerHands::PostUpdate",
      L"iLuxProp::OnUpdate",
      L"iLuxEnemy::OnUpdate",
      L"iEntity3D::GetWorldMatrix",
      L"iEntity3D::GetEntityParent",
      L"cPhysicsBodyNewton::GetEnabled",
      L"cPhysicsBodyNewton transform callback",
      L"NewtonBodyGetUserData",
      L"cMeshEntity::UpdateGraphicsForFrame",
      L"iParticleEmitter::UpdateGraphicsForViewport",
      L"cPostEffect_ImageTrail::RenderEffect",
      L"cSubMeshEntity::GetModelMatrix",
      L"cMouseSDL::Update",
      L"cMouseSDL::GetRelPosition",
      L"cGui::SendMousePos",
      L"SDL_GetRelativeMouseState",
      L"SDL_PumpEvents",
      L"SDL_GetTicks",
      L"cLuxInputHandler::UpdateGamePlayerInput",
  };
  return index < kEngineMappingCount ? kNames[index] : L"unknown";
}

}  // namespace driftglass
