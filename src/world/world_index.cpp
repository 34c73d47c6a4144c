#include "world/world_index.h"

namespace driftglass {
namespace {

// A 32-bit finaliser: each input bit flips about half the output bits, so address patterns with
// a common stride (a page, a power of two, an allocator's size classes) cannot line up in the
// low bits the slot takes. Two multiplies: far cheaper than the probes a clustered index costs.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x85EBCA6Bu;
  x ^= x >> 13;
  x *= 0xC2B2AE35u;
  x ^= x >> 16;
  return x;
}

uint32_t Bits(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

uint32_t WorldIndexHome(const void* key) { return Mix(Bits(key)) & (kWorldIndexSlots - 1); }

// The body is scrambled before it meets the owner, so a standalone body (its own owner) and pairs
// that differ only by swapped roles get homes of their own.
uint32_t WorldIndexHome(const WorldPairKey& key) {
  return Mix(Bits(key.owner) ^ (Bits(key.body) * 0x9E3779B1u)) & (kWorldIndexSlots - 1);
}

}  // namespace driftglass
