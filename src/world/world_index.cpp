#include "world/world_index.h"

namespace driftglass {

uint32_t WorldIndexHome(const void* key) {
  const auto p = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
  return ((p >> 20) ^ (p >> 4)) & (kWorldIndexSlots - 1);
}

uint32_t WorldIndexHome(const WorldPairKey& key) {
  const auto seed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key.owner)) >> 4;
  const auto body = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key.body));
  return (seed ^ ((body >> 4) + 441u + (seed << 6) + (seed >> 2))) & (kWorldIndexSlots - 1);
}

}  // namespace driftglass
