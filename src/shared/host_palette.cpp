#include "shared/host_palette.h"

#include <cstring>

#include "host/guarded_memory.h"

namespace driftglass {
namespace {

constexpr uintptr_t kMeshPalette = 0x380;  // begin, end, capacity end

}  // namespace

bool ReadHostPalette(const void* mesh, HostPaletteSpan& span) {
  uintptr_t range[3];
  if (!ReadHostValue(mesh, kMeshPalette, range)) return false;
  const uintptr_t begin = range[0], end = range[1], capacityEnd = range[2];
  if (begin == 0 || begin > end || end > capacityEnd) return false;
  if ((end - begin) % kHostBoneBytes != 0 || (capacityEnd - begin) % kHostBoneBytes != 0) {
    return false;
  }
  const uintptr_t bones = (end - begin) / kHostBoneBytes;
  if (bones < 1 || bones > BonePalette::kMaxBones) return false;
  auto* const palette = reinterpret_cast<uint8_t*>(begin);
  const size_t bytes = bones * kHostBoneBytes;
  // Writable implies readable: one test for the copy and the write that follow.
  if (!IsRangeWritable(palette, bytes)) return false;
  span = HostPaletteSpan{palette, static_cast<uint32_t>(bones)};
  return true;
}

void CopyHostPalette(const HostPaletteSpan& span, BonePalette& out) {
  auto* const copy = reinterpret_cast<uint8_t*>(out.transforms);
  const size_t bytes = span.bones * kHostBoneBytes;
  memcpy(copy, span.begin, bytes);
  memset(copy + bytes, 0, sizeof(out.transforms) - bytes);
  out.boneCount = span.bones;
}

void SavedHostPalette::SaveAndWrite(const HostPaletteSpan& span, const BonePalette& blend) {
  const size_t bytes = span.bones * kHostBoneBytes;
  memcpy(bytes_, span.begin, bytes);
  memcpy(span.begin, blend.transforms, bytes);
  palette_ = span.begin;
  bones_ = span.bones;
  pending_ = true;
}

bool SavedHostPalette::Restore() {
  if (!pending_) return true;
  const size_t bytes = bones_ * kHostBoneBytes;
  const bool writable = IsRangeWritable(palette_, bytes);
  if (writable) memcpy(palette_, bytes_, bytes);
  palette_ = nullptr;
  bones_ = 0;
  pending_ = false;
  return writable;
}

}  // namespace driftglass
