#pragma once
// What the decoder's files share: the prefixes read before the opcode, the ModRM walk and the
// opcode grids the maps are written in.
#include <cstddef>
#include <cstdint>

#include "instruction_decoder.h"

namespace detour::decoding {

constexpr size_t kMaxInstructionLength = 15;

// The mandatory prefix, numbered as VEX's pp field numbers it.
enum MandatoryPrefix : uint8_t { kNoPrefix, k66, kF3, kF2 };

struct Prefixes {
  bool lock = false;
  bool operandSize16 = false;
  bool addressSize16 = false;
  bool sizeOrRep = false;  // any 66, F2 or F3: they make a VEX or EVEX prefix #UD
  // The last F2 or F3 wins; 66 selects an opcode only without either.
  MandatoryPrefix mandatory = kNoPrefix;
};

// Where the operands of an opcode end, after the opcode byte.
enum Shape : uint8_t {
  N,    // no operands beyond the opcode
  M,    // ModRM
  MB,   // ModRM, imm8
  MZ,   // ModRM, imm16/32 by operand size
  B,    // imm8
  W,    // imm16
  Z,    // imm16/32 by operand size
  WB,   // imm16, imm8 (ENTER)
  FAR,  // ptr16:16/32
  MOF,  // moffs16/32 by address size
  J8,   // rel8
  JZ,   // rel16/32
  GRP3, // ModRM; imm8 or imm16/32 for TEST (/0 and /1)
  PFX,  // prefix
  ESC,  // 0F escape
  VEX,  // LES/LDS, or a VEX prefix when the next byte has mod 11
  EVX,  // BOUND, or an EVEX prefix when the next byte has mod 11
  BAD,  // invalid in 32-bit code
};

// An opcode map as the manuals draw it: 16 rows of 16 entries. Each entry is two hex digits, the
// mandatory prefixes allowed with a memory operand and those allowed with a register operand (or
// without ModRM), one bit per prefix: 1 none, 2 66, 4 F3, 8 F2. "00" is an undefined opcode.
struct OpcodeGrid {
  uint8_t entry[256] = {};
  int count = 0;
};

constexpr uint8_t HexDigit(char c) {
  return static_cast<uint8_t>(c >= 'A' ? c - 'A' + 10 : c - '0');
}

constexpr OpcodeGrid ParseGrid(const char* text) {
  OpcodeGrid grid;
  for (const char* p = text; *p != '\0';) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    if (grid.count < 256) {
      grid.entry[grid.count] = static_cast<uint8_t>(HexDigit(p[0]) << 4 | HexDigit(p[1]));
    }
    ++grid.count;
    p += 2;
  }
  return grid;
}

inline bool GridAllows(const OpcodeGrid& grid, uint8_t opcode, bool memoryOperand,
                       MandatoryPrefix prefix) {
  const uint8_t entry = grid.entry[opcode];
  return (((memoryOperand ? entry >> 4 : entry) >> prefix) & 1) != 0;
}

inline bool IsMemory(uint8_t modrm) { return (modrm >> 6) != 3; }
inline uint8_t RegField(uint8_t modrm) { return (modrm >> 3) & 7; }

// Reads ModRM (and SIB and displacement) at pos; returns the position after them, or 0.
size_t ModRMEnd(const uint8_t* code, size_t available, size_t pos, bool addressSize16,
                uint8_t& modrm);

// Records the length; false when the instruction runs past available or 15 bytes.
bool Finish(size_t end, size_t available, DecodedInstruction& out);

// The 0F, 0F 38 and 0F 3A maps and 3DNow!; pos is just past the 0F byte.
bool DecodeEscape(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
                  DecodedInstruction& out);

// VEX (C4/C5) and EVEX (62) at pos, already known not to be LES/LDS/BOUND.
bool DecodeVex(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
               DecodedInstruction& out);
bool DecodeEvex(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
                DecodedInstruction& out);

}  // namespace detour::decoding
