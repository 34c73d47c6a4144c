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

// Decodes one 32-bit instruction from at most available bytes and reads no byte past them. Returns
// false when the instruction would run past available or 15 bytes, and for bytes it refuses; it
// never guesses a length. It refuses:
// - legacy encodings (the one-byte, 0F, 0F 38 and 0F 3A maps, 3DNow!, x87) whose opcode does not
//   exist with the mandatory prefix (66, F3, F2; the last F2/F3 wins) and operand kind (register
//   or memory) given, group members by ModRM.reg (0F 01's register forms by the whole ModRM),
//   undefined x87 forms and 3DNow! suffixes, MPX bound registers above 3 or with 16-bit
//   addressing, MOV to or from CR1 or CR5-CR7, MOV to CS or from a segment register above GS,
//   and LOCK on anything but a read-modify-write of memory;
// - VEX and EVEX after 66, F2, F3 or LOCK, in an undefined map, or whose opcode does not exist with
//   its pp prefix and operand kind, and group members by ModRM.reg; EVEX with its reserved bit
//   set, its fixed bit clear, V' naming registers 16-31, zeroing without a mask, or a vector
//   length of 11 other than as a register form's rounding mode;
// - XOP (AMD's 8F encodings), VIA PadLock (0F A6, 0F A7) and what exists only in 64-bit mode.
// Not checked, as none of them changes the length: VEX.vvvv, VEX.L and VEX.W, EVEX.vvvv, W, L'L
// and the broadcast, rounding, masking and zeroing each instruction allows beyond the above, and
// legacy prefixes the processor ignores (repeated, conflicting, REP or a segment override where
// it has no effect).
bool DecodeInstruction(const uint8_t* code, size_t available, DecodedInstruction& out);

// The branch's destination: the next instruction's address plus the signed displacement, modulo
// 2^32; with a 16-bit operand size a jump, call or loop keeps only the low 16 bits, as the
// processor does.
uintptr_t BranchDestination(uintptr_t instructionAddress, const uint8_t* bytes,
                            const DecodedInstruction& instruction);

}  // namespace detour
