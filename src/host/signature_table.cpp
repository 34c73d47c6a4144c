#include "host/signature_table.h"

#include <cstddef>

namespace driftglass {

// Not constexpr and never defined on purpose: reaching it while parsing a pattern at compile time
// is a compile error.
void PatternTextIsMalformed();

namespace {

// Parses "55 8B ?? C3" at compile time into bytes and an "xx?x" mask, so the table below reads
// exactly like a disassembler's byte dump and a malformed entry fails the build.
template <size_t TextSize>
struct Pattern {
  static constexpr uint32_t kLength = TextSize / 3;
  uint8_t bytes[kLength] = {};
  char mask[kLength + 1] = {};

  static consteval uint8_t Nibble(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    PatternTextIsMalformed();
    return 0;
  }

  consteval Pattern(const char (&text)[TextSize]) {
    if (TextSize % 3 != 0) PatternTextIsMalformed();
    for (uint32_t i = 0; i < kLength; ++i) {
      const char high = text[3 * i];
      const char low = text[3 * i + 1];
      if (i + 1 < kLength && text[3 * i + 2] != ' ') PatternTextIsMalformed();
      if (high == '?' && low == '?') {
        mask[i] = '?';
      } else {
        bytes[i] = static_cast<uint8_t>(Nibble(high) << 4 | Nibble(low));
        mask[i] = 'x';
      }
    }
  }
};

constexpr Pattern kEngineRunBytes("55 8B EC 6A FF 68 ?? ?? ?? ?? 64 A1 00 00 00 00 50 83 EC 38 A1 ?? ?? ?? ?? 33 C5 89 45 F0 53 56 57 50 8D 45 F4 64 A3 00 00 00 00 68 ?? ?? ?? ?? 8B F1 E8 ?? ?? ?? ?? D9 EE 8B 4E 14 DD 5D BC D9");
constexpr Pattern kUpdaterRunMessageBytes("55 8B EC 51 53 8B 5D 08 56 57 8B F9 8B 47 34 8B 30 83 FB 05 74 67 3B F0");
constexpr Pattern kSceneRenderBytes("55 8B EC 83 EC 18 FF 05 ?? ?? ?? ?? 8B 41 44 89 4D FC 8B 08 89 4D F0 3B");
constexpr Pattern kCameraSetPositionBytes("55 8B EC 8B 45 08 D9 00 51 D9 19 81 C1 CC 01 00 00 D9 40 04 D9 99 38 FE");
constexpr Pattern kCameraSetPitchBytes("55 8B EC D9 45 08 D9 51 28 D9 41 34 D9 EE D9 C0 DD EA DF E0 DD D9 F6 C4");
constexpr Pattern kCameraSetYawBytes("55 8B EC D9 45 08 D9 51 2C D9 41 3C D9 EE D9 C0 DD EA DF E0 DD D9 F6 C4");
constexpr Pattern kCameraSetRollBytes("55 8B EC D9 45 08 B0 01 D9 59 30 88 81 51 08 00 00 66 C7 81 53 08 00 00");
constexpr Pattern kCameraAddPitchBytes("55 8B EC D9 45 08 D8 41 28 D9 5D 08 D9 45 08 D9 51 28 D9 41 34 D9 EE D9 C0 DD EA DF E0 DD D9 F6");
constexpr Pattern kCameraAddYawBytes("55 8B EC D9 45 08 D8 41 2C D9 5D 08 D9 45 08 D9 51 2C D9 41 3C D9 EE D9 C0 DD EA DF E0 DD D9 F6");
constexpr Pattern kPlayerAddYawBytes("55 8B EC 56 8B F1 80 BE B4 02 00 00 00 74 28 D9 45 08 51 8B 8E 78 02 00 00 DC C0 D9 5D 08 D9 45");
constexpr Pattern kPlayerAddYawAlternativeBytes("55 8B EC 56 8B F1 80 BE B4 02 00 00 00 74 2B D9 45 08 51 8B 8E 78 02 00 00 DC C0 D9 5D 08 D9 45");
constexpr Pattern kPlayerAddPitchBytes("55 8B EC 56 8B F1 80 BE B4 02 00 00 00 74 0D D9 45 08 DC C0 D9 5D 08 D9 45 08 EB 52 D9 86 C4 00");
constexpr Pattern kPlayerAddPitchAlternativeBytes("55 8B EC 56 8B F1 80 BE B4 02 00 00 00 74 0D D9 45 08 DC C0 D9 5D 08 D9 45 08 EB 56 D9 86 C4 00");
constexpr Pattern kPlayerHandsPostUpdateBytes("55 8B EC D9 45 08 51 D9 1C 24 E8 BA FC FF FF 5D C2 04 00");
constexpr Pattern kPlayerHandsPostUpdateAlternativeBytes("55 8B EC D9 45 08 51 D9 1C 24 E8 51 FC FF FF 5D C2 04 00");
constexpr Pattern kPropOnUpdateBytes("55 8B EC D9 45 08 56 57 51 D9 1C 24 8B F1 E8 5E ED FF FF D9 45 08 51 8B CE D9 1C 24 E8 15 FD FF");
constexpr Pattern kPropOnUpdateAlternativeBytes("55 8B EC 51 D9 45 08 56 57 51 D9 1C 24 8B F1 E8 ?? ?? ?? ?? D9 45 08 51 8B CE D9 1C 24 E8 ?? ??");
constexpr Pattern kEnemyOnUpdateBytes("55 8B EC 51 51 56 8B F1 80 BE 0C 01 00 00 00 0F 85 30 01 00 00 A1 ?? ?? ?? ?? D9 45 08 8B 08 DD");
constexpr Pattern kEnemyOnUpdateAlternativeBytes("55 8B EC 83 EC 08 56 8B F1 80 BE 0C 01 00 00 00 0F 85 ?? ?? ?? ?? A1 ?? ?? ?? ?? D9 45 08 8B 08");
constexpr Pattern kEntityGetWorldMatrixBytes("56 8B F1 E8 78 00 00 00 8D 46 6C 5E C3");
constexpr Pattern kEntityGetWorldMatrixAlternativeBytes("56 8B F1 E8 68 00 00 00 8D 46 6C 5E C3");
constexpr Pattern kEntityGetEntityParentBytes("8B 81 88 02 00 00 C3");
constexpr Pattern kPhysicsBodyGetEnabledBytes("8B 81 B0 03 00 00 50 FF 15 ?? ?? ?? ?? 83 C4 04 85 C0 0F 94 C0 C3");
constexpr Pattern kPhysicsBodyTransformCallbackBytes("55 8B EC 8B 45 08 56 50 FF 15 ?? ?? ?? ?? 8B 4D 0C 83 C4 04 8B F0 51 8D 4E 2C E8 ?? ?? ?? ?? 6A");
constexpr Pattern kMeshEntityUpdateGraphicsForFrameBytes("55 8B EC 81 EC 8C 00 00 00 53 57 8B F9 33 DB 89 7D F4 38 9F BC 02 00 00");
constexpr Pattern kParticleEmitterUpdateGraphicsForViewportBytes("55 8B EC 81 EC 1C 02 00 00 A1 ?? ?? ?? ?? 33 C5 89 45 FC 53 56 8B F1 8B");
constexpr Pattern kImageTrailRenderEffectBytes("55 8B EC 83 EC 14 D9 E8 56 D9 55 F8 57 D9 5D FC 83 EC 08 D9 05 ?? ?? ?? ?? 8B F1 8B 4E 18 D9 5C");
constexpr Pattern kSubMeshGetModelMatrixBytes("56 8B F1 80 BE 3D 03 00 00 00 74 38 8A 86 9A 03 00 00 84 C0 78 2E 75 24 68 ?? ?? ?? ?? E8 ?? ??");
constexpr Pattern kMouseUpdateBytes("55 8B EC 83 EC 14 53 56 8B F1 33 DB 57 38 5E 24 74 1E 8D 7B 0A E8 ?? ?? ?? ?? 8D 45 F4 50 8D 4D");
constexpr Pattern kMouseGetRelPositionBytes("55 8B EC 8B 51 30 8B 45 08 89 10 8B 51 34 89 50 04 33 D2 89 51 30 89 51 34 5D C2 04 00");
constexpr Pattern kGuiSendMousePosBytes("55 8B EC 83 EC 5C 56 8B F1 83 7E 34 00 75 09 32 C0 5E 8B E5 5D C2 08 00 8B 46 24 8B 48 20 8B 45");
constexpr Pattern kInputHandlerUpdateGamePlayerInputBytes("55 8B EC 83 EC 38 53 56 8B F1 57 8B 7E 38 8B CF E8 8E 34 FB FF 84 C0 74 5D 8B 4E 34 6A 28 E8 D6");
constexpr Pattern kInputHandlerUpdateGamePlayerInputAlternativeBytes("55 8B EC D9 EE 83 EC 40 56 8B F1 8B 4E 38 D8 99 84 00 00 00 DF E0 F6 C4 01 75 5D 8B 4E 34 6A 28");

template <size_t N>
constexpr SignatureSpec MakeSignature(const wchar_t* name, uint32_t mapping, const Pattern<N>& form) {
  return {name, mapping, form.bytes, form.kLength, form.mask, form.kLength, nullptr, 0, nullptr, 0};
}

template <size_t N>
constexpr SignatureSpec MakeSignature(const wchar_t* name, uint32_t mapping, const Pattern<N>& form,
                             const Pattern<N>& alternative) {
  return {name,        mapping,           form.bytes,       form.kLength,
          form.mask,   form.kLength,      alternative.bytes, alternative.kLength,
          alternative.mask, alternative.kLength};
}

constexpr SignatureSpec kSignatures[kSignatureCount] = {
    MakeSignature(L"cEngine::Run", kEngineRun, kEngineRunBytes),
    MakeSignature(L"cUpdater::RunMessage", kUpdaterRunMessage, kUpdaterRunMessageBytes),
    MakeSignature(L"cScene::Render", kSceneRender, kSceneRenderBytes),
    MakeSignature(L"cCamera::SetPosition", kCameraSetPosition, kCameraSetPositionBytes),
    MakeSignature(L"cCamera::SetPitch", kCameraSetPitch, kCameraSetPitchBytes),
    MakeSignature(L"cCamera::SetYaw", kCameraSetYaw, kCameraSetYawBytes),
    MakeSignature(L"cCamera::SetRoll", kCameraSetRoll, kCameraSetRollBytes),
    MakeSignature(L"cCamera::AddPitch", kCameraAddPitch, kCameraAddPitchBytes),
    MakeSignature(L"cCamera::AddYaw", kCameraAddYaw, kCameraAddYawBytes),
    MakeSignature(L"cLuxPlayer::AddYaw", kPlayerAddYaw, kPlayerAddYawBytes, kPlayerAddYawAlternativeBytes),
    MakeSignature(L"cLuxPlayer::AddPitch", kPlayerAddPitch, kPlayerAddPitchBytes, kPlayerAddPitchAlternativeBytes),
    MakeSignature(L"cLuxPlayerHands::PostUpdate", kPlayerHandsPostUpdate, kPlayerHandsPostUpdateBytes, kPlayerHandsPostUpdateAlternativeBytes),
    MakeSignature(L"iLuxProp::OnUpdate", kPropOnUpdate, kPropOnUpdateBytes, kPropOnUpdateAlternativeBytes),
    MakeSignature(L"iLuxEnemy::OnUpdate", kEnemyOnUpdate, kEnemyOnUpdateBytes, kEnemyOnUpdateAlternativeBytes),
    MakeSignature(L"iEntity3D::GetWorldMatrix", kEntityGetWorldMatrix, kEntityGetWorldMatrixBytes, kEntityGetWorldMatrixAlternativeBytes),
    MakeSignature(L"iEntity3D::GetEntityParent", kEntityGetEntityParent, kEntityGetEntityParentBytes),
    MakeSignature(L"cPhysicsBodyNewton::GetEnabled", kPhysicsBodyGetEnabled, kPhysicsBodyGetEnabledBytes),
    MakeSignature(L"cPhysicsBodyNewton transform callback", kPhysicsBodyTransformCallback, kPhysicsBodyTransformCallbackBytes),
    MakeSignature(L"cMeshEntity::UpdateGraphicsForFrame", kMeshEntityUpdateGraphicsForFrame, kMeshEntityUpdateGraphicsForFrameBytes),
    MakeSignature(L"iParticleEmitter::UpdateGraphicsForViewport", kParticleEmitterUpdateGraphicsForViewport, kParticleEmitterUpdateGraphicsForViewportBytes),
    MakeSignature(L"cPostEffect_ImageTrail::RenderEffect", kImageTrailRenderEffect, kImageTrailRenderEffectBytes),
    MakeSignature(L"cSubMeshEntity::GetModelMatrix", kSubMeshGetModelMatrix, kSubMeshGetModelMatrixBytes),
    MakeSignature(L"cMouseSDL::Update", kMouseUpdate, kMouseUpdateBytes),
    MakeSignature(L"cMouseSDL::GetRelPosition", kMouseGetRelPosition, kMouseGetRelPositionBytes),
    MakeSignature(L"cGui::SendMousePos", kGuiSendMousePos, kGuiSendMousePosBytes),
    MakeSignature(L"cLuxInputHandler::UpdateGamePlayerInput", kInputHandlerUpdateGamePlayerInput, kInputHandlerUpdateGamePlayerInputBytes, kInputHandlerUpdateGamePlayerInputAlternativeBytes),
};

}  // namespace

const SignatureSpec* SignatureTable() { return kSignatures; }

}  // namespace driftglass
