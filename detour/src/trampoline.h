#pragma once

#include <cstddef>
#include <cstdint>

namespace detour {

constexpr uint32_t kPatchLength = 5;           // JMP rel32
constexpr uint32_t kTrampolineCapacity = 64;   // 19 copied bytes, widened, plus the jump back
constexpr uint32_t kMaxCopiedInstructions = 5;
// How far past the copied bytes later code is decoded in search of branches back into them.
constexpr uint32_t kBranchScanLength = 256;

// The relocated prologue of one target, and where each copied instruction went.
struct Trampoline {
  uint8_t code[kTrampolineCapacity] = {};
  uint32_t codeLength = 0;
  uint32_t copiedLength = 0;       // bytes of the target's own instructions that were copied
  uint32_t instructionCount = 0;
  // Instruction starts in the target and in the trampoline; entry instructionCount is the end of
  // the copied bytes and the trampoline's jump back.
  uint8_t targetOffset[kMaxCopiedInstructions + 1] = {};
  uint8_t trampolineOffset[kMaxCopiedInstructions + 1] = {};
};

// kBuilt, or why the target's first instructions cannot be relocated.
enum class TrampolineResult {
  kBuilt,
  kUnreadable,
  kUnknownInstruction,
  kSixteenBitBranch,
  kTransaction,
  kLoopLeavesCopy,
  kEndsBeforePatch,
  kBranchIntoInstruction,
  kBranchBackIntoPatch,
  kTooLong,
};

// The refusal in words, for the hook's failure text; nullptr for kBuilt.
const char* TrampolineRefusalText(TrampolineResult result);

// Builds the trampoline for the function at target, as it will run at trampolineAddress. readable
// is how many bytes from target on may be read.
TrampolineResult BuildTrampoline(const uint8_t* target, size_t readable,
                                 uintptr_t trampolineAddress, Trampoline& trampoline);

// Where a thread standing at eip in the copied target bytes continues in the trampoline, and
// back; returns eip unchanged when it is not in the respective range.
uintptr_t MapTargetToTrampoline(const Trampoline& t, uintptr_t target, uintptr_t trampolineAddress,
                                uintptr_t eip);
uintptr_t MapTrampolineToTarget(const Trampoline& t, uintptr_t target, uintptr_t trampolineAddress,
                                uintptr_t eip);

}  // namespace detour
