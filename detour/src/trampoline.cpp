#include "trampoline.h"

#include <cstring>

#include "instruction_decoder.h"

namespace detour {
namespace {

struct CopiedInstruction {
  DecodedInstruction decoded;
  uint32_t targetOffset;
  uint32_t trampolineOffset;
  uint32_t emittedLength;
};

uint32_t EmittedLength(const DecodedInstruction& d) {
  switch (d.branch) {
    case BranchKind::kJccShort: return 6;  // 0F 8x rel32
    case BranchKind::kJmpShort: return 5;  // E9 rel32
    default: return d.length;
  }
}

void WriteRel32(uint8_t* at, uintptr_t from, uintptr_t to) {
  const int32_t displacement = static_cast<int32_t>(to - from);
  memcpy(at, &displacement, 4);
}

// A relative destination inside the copied bytes must be an instruction start; it then runs from
// the trampoline. Returns false for a destination in the middle of a copied instruction.
bool Redirect(const CopiedInstruction* copied, uint32_t count, uintptr_t target,
              uint32_t copiedLength, uintptr_t trampolineAddress, uintptr_t& destination) {
  if (destination < target || destination >= target + copiedLength) return true;
  for (uint32_t i = 0; i < count; ++i) {
    if (target + copied[i].targetOffset == destination) {
      destination = trampolineAddress + copied[i].trampolineOffset;
      return true;
    }
  }
  return false;
}

// Later code that jumps into the first bytes would land inside the patch; a call or jump to the
// entry itself is fine (it simply runs the detour).
bool LaterCodeBranchesIntoPatch(const uint8_t* target, size_t readable, uint32_t copiedLength) {
  const size_t end = readable < kBranchScanLength ? readable : kBranchScanLength;
  const uintptr_t entry = reinterpret_cast<uintptr_t>(target);
  size_t offset = copiedLength;
  while (offset < end) {
    DecodedInstruction d;
    if (!DecodeInstruction(target + offset, end - offset, d)) return false;
    if (d.branch != BranchKind::kNone) {
      const uintptr_t destination = BranchDestination(entry + offset, target + offset, d);
      if (destination > entry && destination < entry + copiedLength) return true;
    }
    offset += d.length;
  }
  return false;
}

}  // namespace

const char* TrampolineRefusalText(TrampolineResult result) {
  switch (result) {
    case TrampolineResult::kBuilt: return nullptr;
    case TrampolineResult::kUnreadable: return "its first bytes cannot be read";
    case TrampolineResult::kUnknownInstruction:
      return "an instruction in its first bytes is unknown to the decoder, invalid in 32-bit code "
             "or cut off by unreadable memory";
    case TrampolineResult::kSixteenBitBranch:
      return "a relative branch in its first bytes has a 16-bit operand size (its destination "
             "wraps within 64 KB)";
    case TrampolineResult::kTransaction: return "XBEGIN in its first bytes";
    case TrampolineResult::kLoopLeavesCopy:
      return "LOOP, JECXZ or JCXZ in its first bytes branches out of them";
    case TrampolineResult::kEndsBeforePatch: return "it returns or jumps away within 5 bytes";
    case TrampolineResult::kBranchIntoInstruction:
      return "a branch in its first bytes lands inside one of their instructions";
    case TrampolineResult::kBranchBackIntoPatch:
      return "code in the next 256 bytes branches back into the bytes the jump would replace";
    case TrampolineResult::kTooLong: return "its first instructions do not fit a trampoline";
  }
  return "unknown";
}

TrampolineResult BuildTrampoline(const uint8_t* target, size_t readable,
                                 uintptr_t trampolineAddress, Trampoline& trampoline) {
  trampoline = Trampoline{};
  if (readable == 0) return TrampolineResult::kUnreadable;
  const uintptr_t entry = reinterpret_cast<uintptr_t>(target);
  CopiedInstruction copied[kMaxCopiedInstructions];
  uint32_t count = 0;
  uint32_t copiedLength = 0;
  uint32_t emitted = 0;
  while (copiedLength < kPatchLength) {
    DecodedInstruction d;
    if (count == kMaxCopiedInstructions) return TrampolineResult::kTooLong;
    if (copiedLength >= readable ||
        !DecodeInstruction(target + copiedLength, readable - copiedLength, d)) {
      return TrampolineResult::kUnknownInstruction;
    }
    if (d.branch == BranchKind::kXbegin) return TrampolineResult::kTransaction;
    // With a 16-bit operand size the processor truncates the destination to 16 bits; a relocated
    // copy would reach a different place.
    if (d.branch != BranchKind::kNone && d.operandSize16) {
      return TrampolineResult::kSixteenBitBranch;
    }
    // The function ends before the patch does: the jump would overwrite what follows it.
    if (d.endsFlow && copiedLength + d.length < kPatchLength) {
      return TrampolineResult::kEndsBeforePatch;
    }
    copied[count] = {d, copiedLength, emitted, EmittedLength(d)};
    emitted += copied[count].emittedLength;
    copiedLength += d.length;
    ++count;
  }
  if (emitted + kPatchLength > kTrampolineCapacity) return TrampolineResult::kTooLong;
  if (LaterCodeBranchesIntoPatch(target, readable, copiedLength)) {
    return TrampolineResult::kBranchBackIntoPatch;
  }

  for (uint32_t i = 0; i < count; ++i) {
    const CopiedInstruction& c = copied[i];
    const DecodedInstruction& d = c.decoded;
    const uint8_t* source = target + c.targetOffset;
    uint8_t* out = trampoline.code + c.trampolineOffset;
    const uintptr_t outAddress = trampolineAddress + c.trampolineOffset;
    if (d.branch == BranchKind::kNone) {
      memcpy(out, source, d.length);
      continue;
    }
    uintptr_t destination = BranchDestination(entry + c.targetOffset, source, d);
    if (!Redirect(copied, count, entry, copiedLength, trampolineAddress, destination)) {
      return TrampolineResult::kBranchIntoInstruction;
    }
    switch (d.branch) {
      case BranchKind::kJccShort:
        out[0] = 0x0F;
        out[1] = static_cast<uint8_t>(0x80 | (source[d.opcodeOffset] & 0x0F));
        WriteRel32(out + 2, outAddress + 6, destination);
        break;
      case BranchKind::kJmpShort:
        out[0] = 0xE9;
        WriteRel32(out + 1, outAddress + 5, destination);
        break;
      case BranchKind::kLoopOrJcxz: {
        // No long form exists: only a destination inside the trampoline within rel8 reach works.
        const intptr_t displacement =
            static_cast<intptr_t>(destination - (outAddress + d.length));
        const bool insideTrampoline =
            destination >= trampolineAddress && destination < trampolineAddress + emitted;
        if (!insideTrampoline || displacement < -128 || displacement > 127) {
          return TrampolineResult::kLoopLeavesCopy;
        }
        memcpy(out, source, d.length);
        out[d.branchOffset] = static_cast<uint8_t>(static_cast<int8_t>(displacement));
        break;
      }
      default:  // CALL, JMP and Jcc with rel32 keep their encoding and get a new displacement
        memcpy(out, source, d.length);
        WriteRel32(out + d.branchOffset, outAddress + d.length, destination);
        break;
    }
  }

  uint8_t* back = trampoline.code + emitted;
  back[0] = 0xE9;
  WriteRel32(back + 1, trampolineAddress + emitted + kPatchLength, entry + copiedLength);

  trampoline.codeLength = emitted + kPatchLength;
  trampoline.copiedLength = copiedLength;
  trampoline.instructionCount = count;
  for (uint32_t i = 0; i < count; ++i) {
    trampoline.targetOffset[i] = static_cast<uint8_t>(copied[i].targetOffset);
    trampoline.trampolineOffset[i] = static_cast<uint8_t>(copied[i].trampolineOffset);
  }
  trampoline.targetOffset[count] = static_cast<uint8_t>(copiedLength);
  trampoline.trampolineOffset[count] = static_cast<uint8_t>(emitted);
  return TrampolineResult::kBuilt;
}

uintptr_t MapTargetToTrampoline(const Trampoline& t, uintptr_t target, uintptr_t trampolineAddress,
                                uintptr_t eip) {
  if (eip < target || eip >= target + t.copiedLength) return eip;
  for (uint32_t i = 0; i < t.instructionCount; ++i) {
    if (eip == target + t.targetOffset[i]) return trampolineAddress + t.trampolineOffset[i];
  }
  return eip;  // threads stop only at instruction starts
}

uintptr_t MapTrampolineToTarget(const Trampoline& t, uintptr_t target, uintptr_t trampolineAddress,
                                uintptr_t eip) {
  if (eip < trampolineAddress || eip >= trampolineAddress + t.codeLength) return eip;
  for (uint32_t i = 0; i <= t.instructionCount; ++i) {
    if (eip == trampolineAddress + t.trampolineOffset[i]) return target + t.targetOffset[i];
  }
  return eip;
}

}  // namespace detour
