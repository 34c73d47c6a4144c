#include "world/world_root_tracker.h"

#include <cstring>

#include "host/guarded_memory.h"
#include "measure/stage_meter.h"
#include "shared/process_object.h"
#include "world/world_host_layout.h"

namespace driftglass {
namespace {

template <typename T>
T At(const uint8_t* object, uintptr_t offset) {
  T value;
  memcpy(&value, object + offset, sizeof(value));
  return value;
}

// The prop's body pointers, repeated ones removed; kWorldStagedProp when they are usable.
uint32_t ReadPropBodies(const uint8_t* prop, void* (&bodies)[kPropMaxBodies], uint32_t& count) {
  count = 0;
  const auto begin = At<uintptr_t>(prop, kPropBodies);
  const auto end = At<uintptr_t>(prop, kPropBodies + sizeof(uintptr_t));
  if (begin == 0 || end == 0) return kWorldInvalid;
  if (end <= begin || (begin | end) % sizeof(void*) != 0 ||
      (end - begin) / sizeof(void*) > kPropMaxBodies) {
    return kWorldIneligible;
  }
  const auto* array = reinterpret_cast<const void*>(begin);
  if (!IsRangeReadable(array, end - begin)) return kWorldIneligible;
  void* listed[kPropMaxBodies];
  const uint32_t entries = static_cast<uint32_t>((end - begin) / sizeof(void*));
  memcpy(listed, array, end - begin);
  for (uint32_t i = 0; i < entries; ++i) {
    if (listed[i] == nullptr) return kWorldInvalid;
    bool repeated = false;
    for (uint32_t j = 0; j < count && !repeated; ++j) repeated = bodies[j] == listed[i];
    if (!repeated) bodies[count++] = listed[i];
  }
  return kWorldStagedProp;
}

// The mesh's identity word when it is readable and active (one test covers both fields).
bool ReadActiveMesh(const void* mesh, uint32_t& meshWord) {
  const auto* bytes = static_cast<const uint8_t*>(mesh);
  if (mesh == nullptr ||
      !IsRangeReadable(bytes + kMeshIdentityWord, kMeshActiveFlag + 1 - kMeshIdentityWord) ||
      At<uint8_t>(bytes, kMeshActiveFlag) != 1) {
    return false;
  }
  meshWord = At<uint32_t>(bytes, kMeshIdentityWord);
  return true;
}

}  // namespace

const wchar_t* WorldStageResultName(uint32_t result) {
  switch (result) {
    case kWorldStagedProp: return L"staged-prop";
    case kWorldStagedGrunt: return L"staged-grunt";
    case kWorldCachedSleepingProp: return L"cached-sleeping-prop";
    case kWorldIneligible: return L"ineligible";
    case kWorldInvalid: return L"invalid";
    case kWorldCapacity: return L"capacity";
    default: return L"unknown";
  }
}

void WorldRootTracker::Configure(uintptr_t getWorldMatrix, uintptr_t getEntityParent,
                                 uintptr_t getEnabled) {
  getWorldMatrix_ = getWorldMatrix;
  getEntityParent_ = getEntityParent;
  getEnabled_ = getEnabled;
  bodies_.Clear();
  sleep_.Clear();
  models_.Clear();
  moved_.Clear();
  tickMeshIndex_.Clear();
}

void WorldRootTracker::Forget(void* owner) {
  bodies_.DropOwner(owner);
  sleep_.Forget(owner);
}

uint32_t WorldRootTracker::StageProp(void* prop, uint64_t tick, WorldPropInfo& info) {
  info = WorldPropInfo{};
  if (getEnabled_ == 0 || prop == nullptr) {
    Forget(prop);
    return kWorldInvalid;
  }
  if (const SleepCacheEntry* resting = sleep_.Resting(prop, tick)) {
    uint32_t word = 0;
    if (ReadHostValue(prop, kPropOwnerWord, word) && word == resting->ownerWord) {
      return kWorldCachedSleepingProp;
    }
  }
  // A rejected prop loses all its entries, so a half-tracked prop never renders stale.
  const auto reject = [this, prop](uint32_t result) {
    Forget(prop);
    return result;
  };
  const auto* bytes = static_cast<const uint8_t*>(prop);
  if (!IsRangeReadable(bytes + kPropReadableBegin, kPropReadableBytes)) {
    return reject(kWorldInvalid);
  }
  const auto eligibility = At<uint8_t>(bytes, kPropEligibilityByte);
  if (eligibility > 1) return reject(kWorldInvalid);
  if (eligibility == 1 || At<uint32_t>(bytes, kPropEligibilityWord) > kPropMaxEligibilityWord) {
    return reject(kWorldIneligible);
  }
  void* bodies[kPropMaxBodies];
  uint32_t count = 0;
  const uint32_t array = ReadPropBodies(bytes, bodies, count);
  if (array != kWorldStagedProp) return reject(array);
  void* const mesh = At<void*>(bytes, kPropMesh);
  uint32_t meshWord = 0;
  if (!ReadActiveMesh(mesh, meshWord)) return reject(kWorldInvalid);
  const auto ownerWord = At<uint32_t>(bytes, kPropOwnerWord);
  const auto getEnabled = reinterpret_cast<GetEnabledFunction>(getEnabled_);

  bool allAsleep = true;
  // Every body already tracked with this count means the prop kept the same bodies: a prop's
  // entries are always those of its last staging, all with its count.
  bool sameBodies = true;
  for (uint32_t i = 0; i < count; ++i) {
    if (!IsRangeReadable(bodies[i], sizeof(void*))) return reject(kWorldInvalid);
    bool awake;
    {
      HostCallScope call;
      awake = getEnabled(bodies[i]) != 0;
    }
    allAsleep = allAsleep && !awake;
    const WorldBodyStaging staging{prop, mesh, bodies[i], meshWord, ownerWord,
                                   kWorldBodyProp, awake, static_cast<uint16_t>(count)};
    uint16_t previousCount = 0;
    if (bodies_.Stage(staging, tick, &previousCount) == nullptr) return reject(kWorldCapacity);
    sameBodies = sameBodies && previousCount == count;
  }
  // Bodies that left the prop.
  if (!sameBodies) bodies_.DropUnstaged(prop, tick);
  sleep_.Record(prop, ownerWord, tick, allAsleep, count > 1);
  info = WorldPropInfo{mesh, ownerWord, count, allAsleep, true};
  return kWorldStagedProp;
}

uint32_t WorldRootTracker::StageGrunt(void* enemy, uint64_t tick) {
  const auto reject = [this, enemy](uint32_t result) {
    Forget(enemy);
    return result;
  };
  // Kind, mesh and identity word from one test of the enemy's record.
  const auto* bytes = static_cast<const uint8_t*>(enemy);
  if (enemy == nullptr ||
      !IsRangeReadable(bytes + kEnemyOwnerWord, kEnemyKind + sizeof(uint32_t) - kEnemyOwnerWord)) {
    return reject(kWorldInvalid);
  }
  if (At<uint32_t>(bytes, kEnemyKind) != 0) return reject(kWorldIneligible);
  void* const mesh = At<void*>(bytes, kEnemyMesh);
  const auto ownerWord = At<uint32_t>(bytes, kEnemyOwnerWord);
  uint32_t meshWord = 0;
  if (!ReadActiveMesh(mesh, meshWord)) return reject(kWorldInvalid);
  const WorldBodyStaging staging{enemy, mesh, mesh, meshWord, ownerWord, kWorldBodyGrunt, true, 1};
  if (bodies_.Stage(staging, tick) == nullptr) return reject(kWorldCapacity);
  return kWorldStagedGrunt;
}

WorldRootTracker& ProcessWorldRootTracker() {
  static ZeroedRoom<WorldRootTracker> room;
  static WorldRootTracker& tracker = room.Build();
  return tracker;
}

}  // namespace driftglass
