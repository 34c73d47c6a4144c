#pragma once

#include <cstddef>
#include <cstdint>

namespace detour {

// k0F0F is 3DNow! (the opcode is the suffix byte after the operands); kMap5 and kMap6 exist only
// in EVEX form.
enum class OpcodeMap : uint8_t { kOneByte, k0F, k0F38, k0F3A, k0F0F, kMap5, kMap6 };

enum class Encoding : uint8_t { kLegacy, kVex, kEvex };

// Relative branches, the only position-dependent operands of 32-bit code.
enum class BranchKind : uint8_t {
  kNone,
  kJccShort,      // 70-7F rel8
  kJmpShort,      // EB rel8
  kLoopOrJcxz,    // E0-E3 rel8, no long form exists
  kCall,          // E8 rel16/32
  kJmp,           // E9 rel16/32
  kJccNear,       // 0F 80-8F rel16/32
  kXbegin,        // C7 F8 rel16/32: the abort handler is relative too
};

struct DecodedInstruction {
  uint8_t length = 0;
  uint8_t opcodeOffset = 0;  // first byte after the prefixes (VEX and EVEX bytes count as opcode)
  uint8_t opcode = 0;        // the opcode byte within its map
  OpcodeMap map = OpcodeMap::kOneByte;
  Encoding encoding = Encoding::kLegacy;
  bool hasModRM = false;
  uint8_t modrm = 0;
  bool operandSize16 = false;
  bool addressSize16 = false;
  BranchKind branch = BranchKind::kNone;
  uint8_t branchOffset = 0;  // where the relative displacement starts
  uint8_t branchSize = 0;    // 1, 2 or 4 bytes
  // RET, IRET and unconditional JMP: execution does not fall through to the next instruction.
  bool endsFlow = false;
};

// Decodes one 32-bit instruction from at most available bytes. Returns false for bytes it does not
// know, for encodings that are invalid in 32-bit code, and when the instruction would run past
// available or past 15 bytes; it never guesses a length.
bool DecodeInstruction(const uint8_t* code, size_t available, DecodedInstruction& out);

// The branch's destination: address of the next instruction plus the signed displacement.
uintptr_t BranchDestination(uintptr_t instructionAddress, const uint8_t* bytes,
                            const DecodedInstruction& instruction);

}  // namespace detour
