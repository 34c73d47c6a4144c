// The legacy-encoded 0F, 0F 38 and 0F 3A maps and 3DNow!. An opcode exists only with the mandatory
// prefixes its grid entry lists, and a group only with the /digits its row lists, so that bytes no
// processor defines are refused rather than given a length.
#include "decoder_parts.h"

namespace detour::decoding {
namespace {

// clang-format off
constexpr Shape k0FShape[256] = {
  //  0    1    2    3    4    5    6    7    8    9    A    B    C    D    E    F
      M,   M,   M,   M,   N,   N,   N,   N,   N,   N,   N,   N,   N,   M,   N,   M,    // 0
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // 1
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // 2
      N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 3
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // 4
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // 5
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // 6
      MB,  MB,  MB,  MB,  M,   M,   M,   N,   M,   M,   N,   N,   M,   M,   M,   M,    // 7
      JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,  JZ,   // 8
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // 9
      N,   N,   N,   M,   MB,  M,   N,   N,   N,   N,   N,   M,   MB,  M,   M,   M,    // A
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   MB,  M,   M,   M,   M,   M,    // B
      M,   M,   MB,  M,   MB,  MB,  MB,  M,   N,   N,   N,   N,   N,   N,   N,   N,    // C
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // D
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // E
      M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,   M,    // F
};

// Entries: prefixes allowed with a memory operand, then with a register operand (1 none, 2 66,
// 4 F3, 8 F2). Most non-SIMD opcodes ignore the prefixes ("FF").
constexpr OpcodeGrid k0F = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "FF FF FF FF 00 FF FF FF FF FF 00 FF 00 FF FF FF"   // 0
    "FF FF FD 30 33 33 75 30 FF FF FF FF FF FF FF FF"   // 1
    "FF FF FF FF 00 00 00 00 33 33 FF F0 FF FF 33 33"   // 2
    "FF FF FF FF FF FF 00 11 00 00 00 00 00 00 00 00"   // 3
    "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"   // 4
    "03 FF 55 55 33 33 33 33 FF FF FF 77 FF FF FF FF"   // 5
    "33 33 33 33 33 33 33 33 33 33 33 33 22 22 33 77"   // 6
    "FF 03 03 03 33 33 33 11 1B 1B 00 00 AA AA 77 77"   // 7
    "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"   // 8
    "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"   // 9
    "FF FF FF FF FF FF 00 00 FF FF FF FF FF FF FF FF"   // A
    "FF FF F0 FF F0 F0 FF FF 44 FF FF FF FF FF FF FF"   // B
    "FF FF FF 10 33 03 33 FF FF FF FF FF FF FF FF FF"   // C
    "AA 33 33 33 33 33 2E 03 33 33 33 33 33 33 33 33"   // D
    "33 33 33 33 33 33 EE 30 33 33 33 33 33 33 33 33"   // E
    "80 33 33 33 33 33 33 03 33 33 33 33 33 33 33 FF"); // F

constexpr OpcodeGrid k0F38 = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "33 33 33 33 33 33 33 33 33 33 33 33 00 00 00 00"   // 0
    "22 00 00 00 22 22 00 22 00 00 00 00 33 33 33 00"   // 1
    "22 22 22 22 22 22 00 00 22 22 20 22 00 00 00 00"   // 2
    "22 22 22 22 22 22 00 22 22 22 22 22 22 22 22 22"   // 3
    "22 22 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 4
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 5
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 6
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 7
    "20 20 20 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 9
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // A
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // B
    "00 00 00 00 00 00 00 00 11 11 11 11 11 11 00 22"   // C
    "00 00 00 00 00 00 00 00 40 00 00 22 66 62 62 62"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "B8 B8 00 00 00 20 76 00 E0 10 04 04 00 00 00 00"); // F

constexpr OpcodeGrid k0F3A = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "00 00 00 00 00 00 00 00 22 22 22 22 22 22 22 33"   // 0
    "00 00 00 00 22 22 22 22 00 00 00 00 00 00 00 00"   // 1
    "22 22 22 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 2
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 3
    "22 22 22 00 22 00 00 00 00 00 00 00 00 00 00 00"   // 4
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 5
    "22 22 22 22 00 00 00 00 00 00 00 00 00 00 00 00"   // 6
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 9
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // A
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // B
    "00 00 00 00 00 00 00 00 00 00 00 00 11 00 22 22"   // C
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 22"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"); // F  HRESET

static_assert(k0F.count == 256 && k0F38.count == 256 && k0F3A.count == 256);

// Groups whose /digits depend on the operand kind and the mandatory prefix: bit d allows /d.
struct Group {
  uint8_t opcode;
  uint8_t memory[4];     // none, 66, F3, F2
  uint8_t registers[4];
};
constexpr Group kGroups[] = {
    {0x00, {0x3F, 0x3F, 0x3F, 0x3F}, {0x3F, 0x3F, 0x3F, 0x3F}},  // SLDT ... VERW
    {0x01, {0xDF, 0xDF, 0xFF, 0xDF}, {0xFF, 0xFF, 0xFF, 0xFF}},  // RSTORSSP is F3 /5
    {0x71, {0x00, 0x00, 0x00, 0x00}, {0x54, 0x54, 0x00, 0x00}},  // PSRLW PSRAW PSLLW
    {0x72, {0x00, 0x00, 0x00, 0x00}, {0x54, 0x54, 0x00, 0x00}},
    {0x73, {0x00, 0x00, 0x00, 0x00}, {0x44, 0xCC, 0x00, 0x00}},  // PSRLDQ PSLLDQ with 66 only
    {0xAE, {0xFF, 0xC0, 0x50, 0x00}, {0xE0, 0x40, 0x70, 0x40}},  // FXSAVE ... fences, WAITPKG
    {0xBA, {0xF0, 0xF0, 0xF0, 0xF0}, {0xF0, 0xF0, 0xF0, 0xF0}},  // BT BTS BTR BTC
    {0xC7, {0xFA, 0x42, 0x42, 0x02}, {0xC0, 0xC0, 0x80, 0x00}},  // CMPXCHG8B, VMX, RDRAND ...
};

// 0F 01 with a register operand, one bit per ModRM C0-FF, by mandatory prefix.
constexpr uint64_t kGroup7Registers[4] = {
    0xFEFF'C1FF'FFF3'8F3Full,
    0x32FF'00FF'FF00'1000ull,  // SVM, SMSW, LMSW, RDTSCP, CLZERO, RDPRU ignore it; TDCALL
    0x36FF'05FF'FF00'0000ull,  // and SETSSBSY, SAVEPREVSSP, MCOMMIT
    0xB2FF'03FF'FF00'0000ull,  // and XSUSLDTRK, XRESLDTRK, PVALIDATE
};

constexpr uint8_t k3DNowSuffixes[] = {0x0C, 0x0D, 0x1C, 0x1D, 0x8A, 0x8E, 0x90, 0x94,
                                      0x96, 0x97, 0x9A, 0x9E, 0xA0, 0xA4, 0xA6, 0xA7,
                                      0xAA, 0xAE, 0xB0, 0xB4, 0xB6, 0xB7, 0xBB, 0xBF};
// clang-format on

bool GroupFormExists(uint8_t op, uint8_t modrm, MandatoryPrefix prefix) {
  for (const Group& group : kGroups) {
    if (group.opcode != op) continue;
    const uint8_t digits = IsMemory(modrm) ? group.memory[prefix] : group.registers[prefix];
    if (((digits >> RegField(modrm)) & 1) == 0) return false;
    return op != 0x01 || IsMemory(modrm) || ((kGroup7Registers[prefix] >> (modrm - 0xC0)) & 1) != 0;
  }
  return true;
}

// MPX (0F 1A, 0F 1B) has bound registers 0-3 and no 16-bit addressing; the register forms without
// a prefix, and F3 0F 1B's, are hint NOPs.
bool BoundFormExists(uint8_t op, uint8_t modrm, MandatoryPrefix prefix, bool addressSize16) {
  const bool memory = IsMemory(modrm);
  if (!memory && (prefix == kNoPrefix || (op == 0x1B && prefix == kF3))) return true;
  if ((memory && addressSize16) || RegField(modrm) > 3) return false;
  return memory || prefix != k66 || (modrm & 7) <= 3;
}

bool Is3DNowSuffix(uint8_t suffix) {
  for (const uint8_t s : k3DNowSuffixes) {
    if (s == suffix) return true;
  }
  return false;
}

bool DecodeThreeByte(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
                     bool is38, DecodedInstruction& out) {
  if (pos >= available) return false;
  out.map = is38 ? OpcodeMap::k0F38 : OpcodeMap::k0F3A;
  out.opcode = code[pos++];
  out.hasModRM = true;
  const size_t end = ModRMEnd(code, available, pos, prefixes.addressSize16, out.modrm);
  if (end == 0 ||
      !GridAllows(is38 ? k0F38 : k0F3A, out.opcode, IsMemory(out.modrm), prefixes.mandatory)) {
    return false;
  }
  // The key locker group D8 defines /0-/3 only; HRESET takes EAX alone.
  if (is38 && out.opcode == 0xD8 && RegField(out.modrm) > 3) return false;
  if (!is38 && out.opcode == 0xF0 && out.modrm != 0xC0) return false;
  return Finish(end + (is38 ? 0 : 1), available, out);
}

}  // namespace

bool DecodeEscape(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
                  DecodedInstruction& out) {
  if (pos >= available) return false;
  const uint8_t op = code[pos++];
  if (op == 0x38 || op == 0x3A) {
    return DecodeThreeByte(code, available, pos, prefixes, op == 0x38, out);
  }
  out.map = OpcodeMap::k0F;
  out.opcode = op;
  const MandatoryPrefix prefix = prefixes.mandatory;
  const Shape shape = k0FShape[op];
  if (shape == JZ) {
    out.branch = BranchKind::kJccNear;
    out.branchOffset = static_cast<uint8_t>(pos);
    out.branchSize = prefixes.operandSize16 ? 2 : 4;
    return Finish(pos + out.branchSize, available, out);
  }
  if (shape == N) return GridAllows(k0F, op, false, prefix) && Finish(pos, available, out);

  out.hasModRM = true;
  if (op >= 0x20 && op <= 0x23) {
    // MOV to and from control and debug registers: the processor ignores mod and always takes the
    // register form. Only CR0, CR2, CR3 and CR4 exist in 32-bit code.
    if (pos >= available) return false;
    out.modrm = code[pos];
    const uint8_t reg = RegField(out.modrm);
    if ((op == 0x20 || op == 0x22) && (reg == 1 || reg > 4)) return false;
    return Finish(pos + 1, available, out);
  }
  size_t end = ModRMEnd(code, available, pos, prefixes.addressSize16, out.modrm);
  if (end == 0) return false;
  const bool memory = IsMemory(out.modrm);
  if (!GridAllows(k0F, op, memory, prefix) || !GroupFormExists(op, out.modrm, prefix)) return false;
  if ((op == 0x1A || op == 0x1B) &&
      !BoundFormExists(op, out.modrm, prefix, prefixes.addressSize16)) {
    return false;
  }
  if (shape == MB) end += 1;
  if (op == 0x0F) {
    // 3DNow!: the opcode is a suffix byte after the operands.
    if (end >= available || !Is3DNowSuffix(code[end])) return false;
    out.map = OpcodeMap::k0F0F;
    out.opcode = code[end];
    end += 1;
  }
  // AMD's EXTRQ (66 0F 78 /0) and INSERTQ (F2 0F 78) carry two immediates.
  if (op == 0x78 && prefix != kNoPrefix) {
    if (prefix == k66 && RegField(out.modrm) != 0) return false;
    end += 2;
  }
  return Finish(end, available, out);
}

}  // namespace detour::decoding
