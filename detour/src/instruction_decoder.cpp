#include "instruction_decoder.h"

#include <cstring>

namespace detour {
namespace {

constexpr size_t kMaxInstructionLength = 15;

// Operand shapes of the one-byte map.
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

// clang-format off
constexpr Shape kOneByte[256] = {
  //  0    1    2    3    4    5    6    7    8    9    A    B    C    D    E    F
      M,   M,   M,   M,   B,   Z,   N,   N,   M,   M,   M,   M,   B,   Z,   N,   ESC,  // 0
      M,   M,   M,   M,   B,   Z,   N,   N,   M,   M,   M,   M,   B,   Z,   N,   N,    // 1
      M,   M,   M,   M,   B,   Z,   PFX, N,   M,   M,   M,   M,   B,   Z,   PFX, N,    // 2
      M,   M,   M,   M,   B,   Z,   PFX, N,   M,   M,   M,   M,   B,   Z,   PFX, N,    // 3
      N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 4
      N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 5
      N,   N,   EVX, M,   PFX, PFX, PFX, PFX, Z,   MZ,  B,   MB,  N,   N,   N,   N,    // 6
      J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,  J8,   // 7
      MB,  MZ,  MB,  MB,  M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // 8
      N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   FAR, N,   N,   N,   N,   N,    // 9
      MOF, MOF, MOF, MOF, N,   N,   N,   N,   B,   Z,   N,   N,   N,   N,   N,   N,    // A
      B,   B,   B,   B,   B,   B,   B,   B,   Z,   Z,   Z,   Z,   Z,   Z,   Z,   Z,    // B
      MB,  MB,  W,   N,   VEX, VEX, MB,  MZ,  WB,  N,   W,   N,   N,   B,   N,   N,    // C
      M,   M,   M,   M,   B,   B,   BAD, N,   M,   M,   M,   M,   M,   M,   M,   M,    // D
      J8,  J8,  J8,  J8,  B,   B,   B,   B,   JZ,  JZ,  FAR, J8,  N,   N,   N,   N,    // E
      PFX, N,   PFX, PFX, N,   N,   GRP3,GRP3,N,   N,   N,   N,   N,   N,   M,   M,    // F
};

// 0F map: which opcodes exist, which take ModRM and which an imm8 (bit 0: valid, 1: ModRM, 2: imm8,
// 3: rel16/32).
constexpr uint8_t V = 1, R = 2, I = 4, J = 8;
constexpr uint8_t k0F[256] = {
  //  0      1      2      3      4      5      6      7      8      9      A      B      C      D      E      F
      V|R,   V|R,   V|R,   V|R,   0,     V,     V,     V,     V,     V,     0,     V,     0,     V|R,   V,     V|R|I,  // 0
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // 1
      V|R,   V|R,   V|R,   V|R,   0,     0,     0,     0,     V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // 2
      V,     V,     V,     V,     V,     V,     0,     V,     0,     0,     0,     0,     0,     0,     0,     0,      // 3
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // 4
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // 5
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // 6
      V|R|I, V|R|I, V|R|I, V|R|I, V|R,   V|R,   V|R,   V,     V|R,   V|R,   0,     0,     V|R,   V|R,   V|R,   V|R,    // 7
      V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,   V|J,    // 8
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // 9
      V,     V,     V,     V|R,   V|R|I, V|R,   0,     0,     V,     V,     V,     V|R,   V|R|I, V|R,   V|R,   V|R,    // A
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R|I, V|R,   V|R,   V|R,   V|R,   V|R,    // B
      V|R,   V|R,   V|R|I, V|R,   V|R|I, V|R|I, V|R|I, V|R,   V,     V,     V,     V,     V,     V,     V,     V,      // C
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // D
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // E
      V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,   V|R,    // F
};
// clang-format on

// Legacy-encoded 0F 38 opcodes (all take ModRM, none an immediate).
bool Valid0F38(uint8_t op) {
  return op <= 0x0B || op == 0x10 || op == 0x14 || op == 0x15 || op == 0x17 ||
         (op >= 0x1C && op <= 0x1E) || (op >= 0x20 && op <= 0x25) || (op >= 0x28 && op <= 0x2B) ||
         (op >= 0x30 && op <= 0x35) || (op >= 0x37 && op <= 0x41) || (op >= 0x80 && op <= 0x82) ||
         (op >= 0xC8 && op <= 0xCD) || op == 0xCF || (op >= 0xDB && op <= 0xDF) || op == 0xF0 ||
         op == 0xF1 || op == 0xF5 || op == 0xF6 || op == 0xF8 || op == 0xF9 || op == 0xFC;
}

// Legacy-encoded 0F 3A opcodes (all take ModRM and an imm8).
bool Valid0F3A(uint8_t op) {
  return (op >= 0x08 && op <= 0x0F) || (op >= 0x14 && op <= 0x17) || (op >= 0x20 && op <= 0x22) ||
         (op >= 0x40 && op <= 0x42) || op == 0x44 || (op >= 0x60 && op <= 0x63) || op == 0xCC ||
         op == 0xCE || op == 0xCF || op == 0xDF;
}

bool IsPrefix(uint8_t b) {
  return b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65 ||
         b == 0x66 || b == 0x67 || b == 0xF0 || b == 0xF2 || b == 0xF3;
}

// Reads ModRM (and SIB and displacement) at pos; returns the position after them, or 0.
size_t ModRMEnd(const uint8_t* code, size_t available, size_t pos, bool addressSize16,
                uint8_t& modrm) {
  if (pos >= available) return 0;
  modrm = code[pos++];
  const uint8_t mod = modrm >> 6;
  const uint8_t rm = modrm & 7;
  if (mod == 3) return pos;
  size_t displacement = 0;
  if (addressSize16) {
    if (mod == 0 && rm == 6) displacement = 2;
    else if (mod == 1) displacement = 1;
    else if (mod == 2) displacement = 2;
  } else {
    if (rm == 4) {
      if (pos >= available) return 0;
      const uint8_t sib = code[pos++];
      if (mod == 0 && (sib & 7) == 5) displacement = 4;
    }
    if (mod == 0 && rm == 5) displacement = 4;
    else if (mod == 1) displacement = 1;
    else if (mod == 2) displacement = 4;
  }
  return pos + displacement;
}

bool Finish(size_t end, size_t available, DecodedInstruction& out) {
  if (end == 0 || end > available || end > kMaxInstructionLength) return false;
  out.length = static_cast<uint8_t>(end);
  return true;
}

// VEX.C5 / VEX.C4 at pos (already known to be VEX by the mod 11 rule).
bool DecodeVex(const uint8_t* code, size_t available, size_t pos, bool sawLegacySizeOrRep,
               DecodedInstruction& out) {
  if (sawLegacySizeOrRep) return false;  // 66, F2, F3 or LOCK before VEX is #UD
  const bool threeByte = code[pos] == 0xC4;
  const size_t vexLength = threeByte ? 3 : 2;
  if (pos + vexLength >= available) return false;
  OpcodeMap map = OpcodeMap::k0F;
  if (threeByte) {
    switch (code[pos + 1] & 0x1F) {
      case 1: map = OpcodeMap::k0F; break;
      case 2: map = OpcodeMap::k0F38; break;
      case 3: map = OpcodeMap::k0F3A; break;
      default: return false;
    }
  }
  out.vex = true;
  out.map = map;
  out.opcodeOffset = static_cast<uint8_t>(pos);
  size_t cursor = pos + vexLength;
  out.opcode = code[cursor++];
  // VZEROUPPER and VZEROALL are the only VEX instructions without ModRM.
  if (map == OpcodeMap::k0F && out.opcode == 0x77) return Finish(cursor, available, out);
  out.hasModRM = true;
  cursor = ModRMEnd(code, available, cursor, false, out.modrm);
  if (cursor == 0) return false;
  bool imm8 = map == OpcodeMap::k0F3A;
  if (map == OpcodeMap::k0F) {
    const uint8_t op = out.opcode;
    imm8 = (op >= 0x70 && op <= 0x73) || op == 0xC2 || op == 0xC4 || op == 0xC5 || op == 0xC6;
  }
  return Finish(cursor + (imm8 ? 1 : 0), available, out);
}

bool DecodeTwoByte(const uint8_t* code, size_t available, size_t pos, DecodedInstruction& out) {
  if (pos >= available) return false;
  const uint8_t op = code[pos++];
  if (op == 0x38 || op == 0x3A) {
    if (pos >= available) return false;
    const uint8_t op3 = code[pos++];
    const bool is38 = op == 0x38;
    if (is38 ? !Valid0F38(op3) : !Valid0F3A(op3)) return false;
    out.map = is38 ? OpcodeMap::k0F38 : OpcodeMap::k0F3A;
    out.opcode = op3;
    out.hasModRM = true;
    const size_t end = ModRMEnd(code, available, pos, out.addressSize16, out.modrm);
    if (end == 0) return false;
    return Finish(end + (is38 ? 0 : 1), available, out);
  }
  const uint8_t shape = k0F[op];
  if ((shape & V) == 0) return false;
  // With 66 or F2, 0F 78 is an AMD form with two immediates; it is not decoded here.
  if (op == 0x78 && (out.operandSize16 || out.repnePrefix)) return false;
  out.map = OpcodeMap::k0F;
  out.opcode = op;
  if (shape & J) {
    out.branch = BranchKind::kJccNear;
    out.branchOffset = static_cast<uint8_t>(pos);
    out.branchSize = out.operandSize16 ? 2 : 4;
    return Finish(pos + out.branchSize, available, out);
  }
  size_t end = pos;
  if (shape & R) {
    out.hasModRM = true;
    end = ModRMEnd(code, available, pos, out.addressSize16, out.modrm);
    if (end == 0) return false;
  }
  if (shape & I) end += 1;
  return Finish(end, available, out);
}

}  // namespace

bool DecodeInstruction(const uint8_t* code, size_t available, DecodedInstruction& out) {
  out = DecodedInstruction{};
  if (code == nullptr || available == 0) return false;
  if (available > kMaxInstructionLength) available = kMaxInstructionLength;

  size_t pos = 0;
  bool sizeOrRepOrLock = false;
  while (pos < available && IsPrefix(code[pos])) {
    const uint8_t prefix = code[pos++];
    if (prefix == 0x66) out.operandSize16 = true;
    if (prefix == 0x67) out.addressSize16 = true;
    if (prefix == 0xF2) out.repnePrefix = true;
    if (prefix == 0x66 || prefix == 0xF0 || prefix == 0xF2 || prefix == 0xF3) sizeOrRepOrLock = true;
  }
  if (pos >= available) return false;
  out.opcodeOffset = static_cast<uint8_t>(pos);
  const uint8_t op = code[pos++];
  out.opcode = op;
  const size_t immZ = out.operandSize16 ? 2 : 4;

  switch (kOneByte[op]) {
    case N:
      out.endsFlow = op == 0xC3 || op == 0xCB || op == 0xCF;
      return Finish(pos, available, out);
    case M:
    case MB:
    case MZ: {
      out.hasModRM = true;
      size_t end = ModRMEnd(code, available, pos, out.addressSize16, out.modrm);
      if (end == 0) return false;
      const uint8_t reg = (out.modrm >> 3) & 7;
      if (op == 0xFE && reg >= 2) return false;
      if (op == 0xFF) {
        if (reg == 7) return false;
        out.endsFlow = reg == 4 || reg == 5;  // JMP near/far indirect
      }
      if (kOneByte[op] == MB) end += 1;
      if (kOneByte[op] == MZ) end += immZ;
      if (op == 0xC7 && out.modrm == 0xF8) {
        out.branch = BranchKind::kXbegin;
        out.branchOffset = static_cast<uint8_t>(end - immZ);
        out.branchSize = static_cast<uint8_t>(immZ);
      }
      return Finish(end, available, out);
    }
    case GRP3: {
      out.hasModRM = true;
      size_t end = ModRMEnd(code, available, pos, out.addressSize16, out.modrm);
      if (end == 0) return false;
      if (((out.modrm >> 3) & 7) <= 1) end += op == 0xF6 ? 1 : immZ;
      return Finish(end, available, out);
    }
    case B:
      return Finish(pos + 1, available, out);
    case W:
      out.endsFlow = op == 0xC2 || op == 0xCA;
      return Finish(pos + 2, available, out);
    case Z:
      return Finish(pos + immZ, available, out);
    case WB:
      return Finish(pos + 3, available, out);
    case FAR:
      out.endsFlow = op == 0xEA;
      return Finish(pos + immZ + 2, available, out);
    case MOF:
      return Finish(pos + (out.addressSize16 ? 2 : 4), available, out);
    case J8:
      out.branch = op == 0xEB                ? BranchKind::kJmpShort
                   : (op >= 0xE0 && op <= 0xE3) ? BranchKind::kLoopOrJcxz
                                                : BranchKind::kJccShort;
      out.endsFlow = op == 0xEB;
      out.branchOffset = static_cast<uint8_t>(pos);
      out.branchSize = 1;
      return Finish(pos + 1, available, out);
    case JZ:
      out.branch = op == 0xE8 ? BranchKind::kCall : BranchKind::kJmp;
      out.endsFlow = op == 0xE9;
      out.branchOffset = static_cast<uint8_t>(pos);
      out.branchSize = static_cast<uint8_t>(immZ);
      return Finish(pos + immZ, available, out);
    case ESC:
      return DecodeTwoByte(code, available, pos, out);
    case VEX:
      if (pos < available && (code[pos] >> 6) == 3) {
        return DecodeVex(code, available, pos - 1, sizeOrRepOrLock, out);
      }
      out.hasModRM = true;
      return Finish(ModRMEnd(code, available, pos, out.addressSize16, out.modrm), available, out);
    case EVX:
      if (pos < available && (code[pos] >> 6) == 3) return false;  // EVEX is not supported
      out.hasModRM = true;
      return Finish(ModRMEnd(code, available, pos, out.addressSize16, out.modrm), available, out);
    case PFX:
    case BAD:
    default:
      return false;
  }
}

uintptr_t BranchDestination(uintptr_t instructionAddress, const uint8_t* bytes,
                            const DecodedInstruction& instruction) {
  int32_t displacement = 0;
  const uint8_t* field = bytes + instruction.branchOffset;
  if (instruction.branchSize == 1) {
    displacement = static_cast<int8_t>(field[0]);
  } else if (instruction.branchSize == 2) {
    int16_t value;
    memcpy(&value, field, 2);
    displacement = value;
  } else {
    memcpy(&displacement, field, 4);
  }
  return instruction.length + instructionAddress + static_cast<uintptr_t>(displacement);
}

}  // namespace detour
