#pragma once
// Where the engine keeps what the world-root tracking reads.

#include <cstdint>

#include "host/hook_slots.h"

namespace driftglass {

constexpr uintptr_t kPropOwnerWord = 0x40;
constexpr uintptr_t kPropReadableBegin = 0x40;
constexpr uint32_t kPropReadableBytes = 1096;  // through 0x487
constexpr uintptr_t kPropEligibilityByte = 0x119;
constexpr uintptr_t kPropBodies = 0x260;  // begin, end at +4
constexpr uintptr_t kPropMesh = 0x340;
constexpr uintptr_t kPropEligibilityWord = 0x484;
constexpr uint32_t kPropMaxEligibilityWord = 15;
constexpr uint32_t kPropMaxBodies = 32;

constexpr uintptr_t kEnemyOwnerWord = 0x40;
constexpr uintptr_t kEnemyMesh = 0x54C;
constexpr uintptr_t kEnemyKind = 0x82C;

constexpr uintptr_t kMeshIdentityWord = 0x04;
constexpr uintptr_t kMeshActiveFlag = 0x24;
constexpr uintptr_t kMeshSubMeshes = 0x30C;  // begin, end at +4
constexpr uint32_t kMeshMaxSubMeshes = 128;

constexpr uintptr_t kStandaloneActive = 0x24;
constexpr uintptr_t kStandaloneIdentityWord = 0x40;
constexpr uintptr_t kStandaloneRange = 0x280;
constexpr uint32_t kStandaloneRangeMax = 128;

using GetEnabledFunction = uint8_t(DRIFTGLASS_THISCALL*)(void* body);

}  // namespace driftglass
