// Legacy prefixes, the one-byte map with its groups and x87, LOCK, and branch destinations. The
// escape maps and the vector encodings live in their own files.
#include "instruction_decoder.h"

#include <cstring>

#include "decoder_parts.h"

namespace detour {
namespace decoding {
namespace {

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
      M,   M,   M,   M,   B,   B,   N,   N,   M,   M,   M,   M,   M,   M,   M,   M,    // D
      J8,  J8,  J8,  J8,  B,   B,   B,   B,   JZ,  JZ,  FAR, J8,  N,   N,   N,   N,    // E
      PFX, N,   PFX, PFX, N,   N,   GRP3,GRP3,N,   N,   N,   N,   N,   N,   M,   M,    // F
};

// x87 (D8-DF): the /digits that exist with a memory operand, and the register forms C0-FF (bit n
// is ModRM C0+n). The undocumented register aliases (FSTP1, FXCH4, FCOMP5, FFREEP ...) count.
struct X87Forms {
  uint8_t memory;
  uint64_t registers;
};
constexpr X87Forms kX87[8] = {
    {0xFF, ~0ull},                                                                     // D8
    {0xFD, 0xFFFF'7F33'FF01'FFFFull},                                                  // D9
    {0xFF, 0x0000'0200'FFFF'FFFFull},                                                  // DA
    {0xAF, 0x00FF'FF1F'FFFF'FFFFull},                                                  // DB
    {0xFF, ~0ull},                                                                     // DC
    {0xDF, 0x0000'FFFF'FFFF'FFFFull},                                                  // DD
    {0xFF, 0xFFFF'FFFF'02FF'FFFFull},                                                  // DE
    {0xFF, 0x00FF'FF01'FFFF'FFFFull},                                                  // DF
};
// clang-format on

bool IsPrefix(uint8_t b) {
  return b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65 ||
         b == 0x66 || b == 0x67 || b == 0xF0 || b == 0xF2 || b == 0xF3;
}

// The ModRM forms the one-byte map's groups and special cases define.
bool OneByteFormExists(uint8_t op, uint8_t modrm) {
  const uint8_t reg = RegField(modrm);
  switch (op) {
    case 0x8C: return reg <= 5;                       // MOV r/m, Sreg
    case 0x8D: return IsMemory(modrm);                // LEA
    case 0x8E: return reg != 1 && reg <= 5;           // MOV Sreg, r/m: never CS
    case 0x8F: return reg == 0;                       // POP r/m; the rest is AMD's XOP
    case 0xC6:
    case 0xC7: return reg == 0 || modrm == 0xF8;      // MOV r/m, imm; XABORT / XBEGIN
    case 0xFE: return reg <= 1;
    case 0xFF: return reg != 7 && (IsMemory(modrm) || (reg != 3 && reg != 5));  // far forms: memory
    default: break;
  }
  if (op >= 0xD8 && op <= 0xDF) {
    const X87Forms& forms = kX87[op - 0xD8];
    return IsMemory(modrm) ? ((forms.memory >> reg) & 1) != 0
                           : ((forms.registers >> (modrm - 0xC0)) & 1) != 0;
  }
  return true;
}

// LOCK is allowed only on the read-modify-write instructions, and only with a memory destination.
bool LockAllowed(const DecodedInstruction& d) {
  if (d.encoding != Encoding::kLegacy || !d.hasModRM || !IsMemory(d.modrm)) return false;
  const uint8_t op = d.opcode;
  const uint8_t reg = RegField(d.modrm);
  if (d.map == OpcodeMap::kOneByte) {
    if (op < 0x38 && (op & 7) <= 1) return true;  // ADD OR ADC SBB AND SUB XOR r/m, r
    switch (op) {
      case 0x80: case 0x81: case 0x82: case 0x83: return reg != 7;  // not CMP
      case 0x86: case 0x87: return true;                               // XCHG
      case 0xF6: case 0xF7: return reg == 2 || reg == 3;              // NOT, NEG
      case 0xFE: case 0xFF: return reg <= 1;                           // INC, DEC
      default: return false;
    }
  }
  if (d.map != OpcodeMap::k0F) return false;
  switch (op) {
    case 0xAB: case 0xB3: case 0xBB:  // BTS BTR BTC
    case 0xB0: case 0xB1:             // CMPXCHG
    case 0xC0: case 0xC1: return true;  // XADD
    case 0xBA: return reg >= 5;
    case 0xC7: return reg == 1;  // CMPXCHG8B
    default: return false;
  }
}

bool DecodeOneByte(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
                   DecodedInstruction& out) {
  const uint8_t op = out.opcode;
  const size_t immZ = prefixes.operandSize16 ? 2 : 4;
  const Shape shape = kOneByte[op];
  switch (shape) {
    case N:
      out.endsFlow = op == 0xC3 || op == 0xCB || op == 0xCF;
      return Finish(pos, available, out);
    case M:
    case MB:
    case MZ:
    case GRP3: {
      out.hasModRM = true;
      size_t end = ModRMEnd(code, available, pos, prefixes.addressSize16, out.modrm);
      if (end == 0 || !OneByteFormExists(op, out.modrm)) return false;
      const uint8_t reg = RegField(out.modrm);
      if (op == 0xFF) out.endsFlow = reg == 4 || reg == 5;  // JMP near/far indirect
      if (shape == MB) end += 1;
      if (shape == MZ) end += immZ;
      if (shape == GRP3 && reg <= 1) end += op == 0xF6 ? 1 : immZ;  // TEST
      if (op == 0xC7 && out.modrm == 0xF8) {
        out.branch = BranchKind::kXbegin;
        out.branchOffset = static_cast<uint8_t>(end - immZ);
        out.branchSize = static_cast<uint8_t>(immZ);
      }
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
      return Finish(pos + (prefixes.addressSize16 ? 2 : 4), available, out);
    case J8:
      out.branch = op == 0xEB                   ? BranchKind::kJmpShort
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
      return DecodeEscape(code, available, pos, prefixes, out);
    case VEX:
    case EVX: {
      // In 32-bit code LES, LDS and BOUND take only memory operands; mod 11 makes the byte a
      // prefix.
      const bool vector = pos < available && (code[pos] >> 6) == 3;
      if (vector) {
        return shape == VEX ? DecodeVex(code, available, pos - 1, prefixes, out)
                            : DecodeEvex(code, available, pos - 1, prefixes, out);
      }
      out.hasModRM = true;
      const size_t end = ModRMEnd(code, available, pos, prefixes.addressSize16, out.modrm);
      return Finish(end, available, out);
    }
    case PFX:
    case BAD:
    default:
      return false;
  }
}

}  // namespace

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

}  // namespace decoding

bool DecodeInstruction(const uint8_t* code, size_t available, DecodedInstruction& out) {
  using namespace decoding;
  out = DecodedInstruction{};
  if (code == nullptr || available == 0) return false;
  if (available > kMaxInstructionLength) available = kMaxInstructionLength;

  Prefixes prefixes;
  size_t pos = 0;
  while (pos < available && IsPrefix(code[pos])) {
    switch (code[pos++]) {
      case 0xF0: prefixes.lock = true; break;
      case 0x66:
        prefixes.operandSize16 = prefixes.sizeOrRep = true;
        if (prefixes.mandatory == kNoPrefix) prefixes.mandatory = k66;
        break;
      case 0x67: prefixes.addressSize16 = true; break;
      case 0xF2: prefixes.mandatory = kF2, prefixes.sizeOrRep = true; break;
      case 0xF3: prefixes.mandatory = kF3, prefixes.sizeOrRep = true; break;
      default: break;  // segment overrides
    }
  }
  if (pos >= available) return false;
  out.operandSize16 = prefixes.operandSize16;
  out.addressSize16 = prefixes.addressSize16;
  out.opcodeOffset = static_cast<uint8_t>(pos);
  out.opcode = code[pos];
  if (!DecodeOneByte(code, available, pos + 1, prefixes, out)) return false;
  return !prefixes.lock || LockAllowed(out);
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
  // EIP wraps at 4 GB; with a 16-bit operand size a jump, call or loop keeps only its low 16 bits
  // (XBEGIN's abort address does not).
  uint32_t destination = static_cast<uint32_t>(instructionAddress) + instruction.length +
                         static_cast<uint32_t>(displacement);
  if (instruction.operandSize16 && instruction.branch != BranchKind::kXbegin) destination &= 0xFFFF;
  return destination;
}

}  // namespace detour
