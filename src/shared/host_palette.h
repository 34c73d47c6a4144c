#pragma once
// A host mesh's bone-palette array: read only when it is sound, copied once per tick, and
// overwritten for one render only after its bytes are saved, so they can go back exactly.

#include <cstdint>

#include "shared/bone_palette.h"

namespace driftglass {

constexpr uint32_t kHostBoneBytes = sizeof(BonePalette::transforms[0]);

// The bones a host palette array holds right now; also a palette's identity (null when none).
struct HostPaletteSpan {
  uint8_t* begin = nullptr;
  uint32_t bones = 0;
};

// The mesh's begin, end and capacity end at 0x380: begin non-null, begin ≤ end ≤ capacity end,
// both lengths whole bones, 1 to 128 bones, all of them readable and writable.
bool ReadHostPalette(const void* mesh, HostPaletteSpan& span);

// The span's bones, the rest of out zero.
void CopyHostPalette(const HostPaletteSpan& span, BonePalette& out);

// The host's bytes under one written blend.
class SavedHostPalette {
 public:
  bool Pending() const { return pending_; }
  // Saves the span's bytes, then writes the blend's first span.bones bones over them.
  void SaveAndWrite(const HostPaletteSpan& span, const BonePalette& blend);
  // Writes the saved bytes back if the range is still writable; nothing is pending afterwards.
  // False only when a pending write could not be undone.
  bool Restore();

 private:
  uint8_t* palette_ = nullptr;
  uint32_t bones_ = 0;
  bool pending_ = false;
  uint8_t bytes_[BonePalette::kMaxBones * kHostBoneBytes] = {};
};

}  // namespace driftglass
