#pragma once
// Where the engine keeps the first-person hands and the objects they hold.

#include <cstdint>

namespace driftglass {

constexpr uintptr_t kHandsMesh = 0x44;
constexpr uintptr_t kHandsHandObjects = 0x60;  // begin, end at +4
constexpr uintptr_t kHandObjectMesh = 0xF4;
// Billboards, particle systems, lights: begin and end pointers each.
constexpr uintptr_t kHandObjectAttachmentArrays[3] = {0xF8, 0x108, 0x118};

constexpr uint32_t kMaxHandObjects = 64;
constexpr uint32_t kMaxAttachmentsPerArray = 32;

}  // namespace driftglass
