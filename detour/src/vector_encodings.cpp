// VEX (C4/C5) and EVEX (62) encoded instructions. Every one of them has ModRM except VZEROUPPER
// and VZEROALL; the 0F 3A map and a few 0F opcodes add an imm8. An EVEX disp8 is scaled by the
// operand size at run time but is still one byte, so it does not change the length.
#include "decoder_parts.h"

namespace detour::decoding {
namespace {

// clang-format off
// Entries as in the legacy maps: mandatory prefixes (pp) allowed with a memory operand, then with a
// register operand (1 none, 2 66, 4 F3, 8 F2).
constexpr OpcodeGrid kVex0F = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 0
    "FF FF FD 30 33 33 75 30 00 00 00 00 00 00 00 00"   // 1
    "00 00 00 00 00 00 00 00 33 33 CC 30 CC CC 33 33"   // 2
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 3
    "00 03 03 00 03 03 03 03 00 00 03 03 00 00 00 00"   // 4  mask registers
    "03 FF 55 55 33 33 33 33 FF FF FF 77 FF FF FF FF"   // 5
    "22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 66"   // 6
    "EE 02 02 02 22 22 22 11 00 00 00 00 AA AA 66 66"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "33 30 0B 0B 00 00 00 00 03 03 00 00 00 00 00 00"   // 9  mask registers
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 10 00"   // A
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // B
    "00 00 FF 00 22 02 33 00 00 00 00 00 00 00 00 00"   // C
    "AA 22 22 22 22 22 22 02 22 22 22 22 22 22 22 22"   // D
    "22 22 22 22 22 22 EE 20 22 22 22 22 22 22 22 22"   // E
    "80 22 22 22 22 22 22 02 22 22 22 22 22 22 22 00"); // F

constexpr OpcodeGrid kVex0F38 = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 22"   // 0
    "00 00 00 22 00 00 22 22 22 22 20 00 22 22 22 00"   // 1
    "22 22 22 22 22 22 00 00 22 22 20 22 20 20 20 20"   // 2
    "22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 22"   // 3
    "22 22 00 00 00 22 22 22 00 00 00 00 00 00 00 00"   // 4
    "22 22 22 22 00 00 00 00 22 22 20 00 00 00 00 00"   // 5
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 6
    "00 00 00 00 00 00 00 00 22 22 00 00 00 00 00 00"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 20 00 20 00"   // 8
    "20 20 20 20 00 00 22 22 22 22 22 22 22 22 22 22"   // 9
    "00 00 00 00 00 00 22 22 22 22 22 22 22 22 22 22"   // A
    "00 00 00 00 00 00 22 22 22 22 22 22 22 22 22 22"   // B
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 22"   // C
    "00 00 00 00 00 00 00 00 00 00 00 22 22 22 22 22"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "00 00 11 11 00 DD 88 FF 00 00 00 00 00 00 00 00"); // F

constexpr OpcodeGrid kVex0F3A = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "22 22 22 00 22 22 22 00 22 22 22 22 22 22 22 22"   // 0
    "00 00 00 00 22 22 22 22 22 22 00 00 00 22 00 00"   // 1
    "22 22 22 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 2
    "02 02 02 02 00 00 00 00 22 22 00 00 00 00 00 00"   // 3
    "22 22 22 00 22 00 22 00 22 22 22 22 22 00 00 00"   // 4
    "00 00 00 00 00 00 00 00 00 00 00 00 22 22 22 22"   // 5  FMA4
    "22 22 22 22 00 00 00 00 22 22 22 22 22 22 22 22"   // 6
    "00 00 00 00 00 00 00 00 22 22 22 22 22 22 22 22"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 9
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // A
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // B
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 22 22"   // C
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 22"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "88 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"); // F

constexpr OpcodeGrid kEvex0F = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 0
    "FF FF FD 30 33 33 75 30 00 00 00 00 00 00 00 00"   // 1
    "00 00 00 00 00 00 00 00 33 33 CC 30 CC CC 33 33"   // 2
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 3
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 4
    "00 FF 00 00 33 33 33 33 FF FF FF 77 FF FF FF FF"   // 5
    "22 22 22 22 22 22 22 22 22 22 22 22 22 22 22 EE"   // 6
    "EE 22 22 22 22 22 22 00 FF FF EE EE 00 00 66 EE"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 9
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // A
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // B
    "00 00 FF 00 22 02 33 00 00 00 00 00 00 00 00 00"   // C
    "00 22 22 22 22 22 22 00 22 22 22 22 22 22 22 22"   // D
    "22 22 22 22 22 22 EE 20 22 22 22 22 22 22 22 22"   // E
    "00 22 22 22 22 22 22 00 22 22 22 22 22 22 22 00"); // F

constexpr OpcodeGrid kEvex0F38 = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "22 00 00 00 22 00 00 00 00 00 00 22 22 22 00 00"   // 0
    "66 66 66 66 66 66 22 00 22 22 20 20 22 22 22 22"   // 1
    "66 66 66 66 66 66 66 66 26 26 24 22 22 22 00 00"   // 2
    "66 66 66 66 66 66 22 22 26 26 26 22 22 22 22 22"   // 3
    "22 00 22 22 22 22 22 22 00 00 00 00 22 22 22 22"   // 4
    "22 22 E6 A2 22 22 00 00 22 22 20 20 00 00 00 00"   // 5
    "00 00 22 22 22 22 22 00 88 00 00 00 00 00 00 00"   // 6
    "22 22 EE 22 00 22 22 22 22 22 02 02 02 22 22 22"   // 7
    "00 00 00 22 00 00 00 00 22 22 22 22 00 22 00 22"   // 8
    "20 20 20 20 00 00 22 22 22 22 A2 A2 22 22 22 22"   // 9
    "20 20 20 20 00 00 22 22 22 22 A2 A2 22 22 22 22"   // A
    "00 00 00 00 22 22 22 22 22 22 22 22 22 22 22 22"   // B
    "00 00 00 00 22 00 20 20 22 00 22 22 22 22 00 22"   // C
    "00 00 00 00 00 00 00 00 00 00 00 00 22 22 22 22"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"); // F

constexpr OpcodeGrid kEvex0F3A = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "22 22 00 22 22 22 00 00 33 22 33 22 00 00 00 22"   // 0
    "00 00 00 00 22 22 22 22 22 22 22 22 00 22 22 22"   // 1
    "22 22 22 22 00 22 33 33 00 00 00 00 00 00 00 00"   // 2
    "00 00 00 00 00 00 00 00 22 22 22 22 00 00 22 22"   // 3
    "00 00 22 22 22 00 00 00 00 00 00 00 00 00 00 00"   // 4
    "22 22 00 00 22 22 33 33 00 00 00 00 00 00 00 00"   // 5
    "00 00 00 00 00 00 33 33 00 00 00 00 00 00 00 00"   // 6
    "22 22 22 22 00 00 00 00 00 00 00 00 00 00 00 00"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 9
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // A
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // B
    "00 00 55 00 00 00 00 00 00 00 00 00 00 00 22 22"   // C
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"); // F

// Maps 5 and 6: half-precision arithmetic (AVX512-FP16).
constexpr OpcodeGrid kEvexMap5 = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 0
    "44 44 00 00 00 00 00 00 00 00 00 00 00 33 00 00"   // 1
    "00 00 00 00 00 00 00 00 00 00 44 00 44 44 11 11"   // 2
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 3
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 4
    "00 55 00 00 00 00 00 00 55 55 FF 77 55 55 55 55"   // 5
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 22 00"   // 6
    "00 00 00 00 00 00 00 00 77 77 EE 66 33 FF 22 00"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 9
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // A
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // B
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // C
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"); // F

constexpr OpcodeGrid kEvexMap6 = ParseGrid(
  // 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 0
    "00 00 00 33 00 00 00 00 00 00 00 00 00 00 00 00"   // 1
    "00 00 00 00 00 00 00 00 00 00 00 00 22 22 00 00"   // 2
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 3
    "00 00 22 22 00 00 00 00 00 00 00 00 22 22 22 22"   // 4
    "00 00 00 00 00 00 CC CC 00 00 00 00 00 00 00 00"   // 5
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 6
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 7
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 8
    "00 00 00 00 00 00 22 22 22 22 22 22 22 22 22 22"   // 9
    "00 00 00 00 00 00 22 22 22 22 22 22 22 22 22 22"   // A
    "00 00 00 00 00 00 22 22 22 22 22 22 22 22 22 22"   // B
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // C
    "00 00 00 00 00 00 CC CC 00 00 00 00 00 00 00 00"   // D
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"   // E
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"); // F
// clang-format on

static_assert(kVex0F.count == 256 && kVex0F38.count == 256 && kVex0F3A.count == 256 &&
              kEvex0F.count == 256 && kEvex0F38.count == 256 && kEvex0F3A.count == 256 &&
              kEvexMap5.count == 256 && kEvexMap6.count == 256);

// Groups of the vector maps: the /digits that exist (bit d allows /d).
struct VectorGroup {
  Encoding encoding;
  OpcodeMap map;
  uint8_t opcode;
  uint8_t digits;
};
constexpr VectorGroup kVectorGroups[] = {
    {Encoding::kVex, OpcodeMap::k0F, 0x71, 0x54},    // VPSRLW VPSRAW VPSLLW
    {Encoding::kVex, OpcodeMap::k0F, 0x72, 0x54},
    {Encoding::kVex, OpcodeMap::k0F, 0x73, 0xCC},    // VPSRLQ VPSRLDQ VPSLLQ VPSLLDQ
    {Encoding::kVex, OpcodeMap::k0F, 0xAE, 0x0C},    // VLDMXCSR VSTMXCSR
    {Encoding::kVex, OpcodeMap::k0F38, 0xF3, 0x0E},  // BLSR BLSMSK BLSI
    {Encoding::kEvex, OpcodeMap::k0F, 0x71, 0x54},
    {Encoding::kEvex, OpcodeMap::k0F, 0x72, 0x57},   // and VPRORD VPROLD
    {Encoding::kEvex, OpcodeMap::k0F, 0x73, 0xCC},
    {Encoding::kEvex, OpcodeMap::k0F38, 0xC6, 0x66},  // gather and scatter prefetches
    {Encoding::kEvex, OpcodeMap::k0F38, 0xC7, 0x66},
};

bool VectorGroupFormExists(const DecodedInstruction& d) {
  for (const VectorGroup& group : kVectorGroups) {
    if (group.encoding == d.encoding && group.map == d.map && group.opcode == d.opcode) {
      return ((group.digits >> RegField(d.modrm)) & 1) != 0;
    }
  }
  return true;
}

bool HasImm8(OpcodeMap map, uint8_t opcode) {
  if (map == OpcodeMap::k0F3A) return true;
  return map == OpcodeMap::k0F && ((opcode >= 0x70 && opcode <= 0x73) ||
                                   (opcode >= 0xC4 && opcode <= 0xC6) || opcode == 0xC2);
}

// ModRM, SIB, displacement and immediate after the opcode at pos, checked against grid.
bool FinishVector(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
                  const OpcodeGrid& grid, MandatoryPrefix pp, DecodedInstruction& out) {
  out.hasModRM = true;
  const size_t end = ModRMEnd(code, available, pos, prefixes.addressSize16, out.modrm);
  if (end == 0 || !GridAllows(grid, out.opcode, IsMemory(out.modrm), pp) ||
      !VectorGroupFormExists(out)) {
    return false;
  }
  return Finish(end + (HasImm8(out.map, out.opcode) ? 1 : 0), available, out);
}

}  // namespace

bool DecodeVex(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
               DecodedInstruction& out) {
  if (prefixes.sizeOrRep || prefixes.lock) return false;  // #UD before VEX
  const bool threeByte = code[pos] == 0xC4;
  const size_t opcodePos = pos + (threeByte ? 3 : 2);
  if (opcodePos >= available) return false;
  out.encoding = Encoding::kVex;
  out.opcodeOffset = static_cast<uint8_t>(pos);
  const OpcodeGrid* grid = &kVex0F;
  out.map = OpcodeMap::k0F;
  if (threeByte) {
    switch (code[pos + 1] & 0x1F) {
      case 1: break;
      case 2: grid = &kVex0F38, out.map = OpcodeMap::k0F38; break;
      case 3: grid = &kVex0F3A, out.map = OpcodeMap::k0F3A; break;
      default: return false;
    }
  }
  const auto pp = static_cast<MandatoryPrefix>(code[opcodePos - 1] & 3);
  out.opcode = code[opcodePos];
  // VZEROUPPER and VZEROALL have no ModRM.
  if (out.map == OpcodeMap::k0F && out.opcode == 0x77) {
    return pp == kNoPrefix && Finish(opcodePos + 1, available, out);
  }
  return FinishVector(code, available, opcodePos + 1, prefixes, *grid, pp, out);
}

bool DecodeEvex(const uint8_t* code, size_t available, size_t pos, const Prefixes& prefixes,
                DecodedInstruction& out) {
  if (prefixes.sizeOrRep || prefixes.lock) return false;
  const size_t opcodePos = pos + 4;
  if (opcodePos >= available) return false;
  const uint8_t p0 = code[pos + 1];
  const uint8_t p1 = code[pos + 2];
  const uint8_t p2 = code[pos + 3];
  // P0 bit 3 is reserved (0), P1 bit 2 fixed (1); V' (P2 bit 3, inverted) names registers 16-31,
  // which 32-bit code does not have.
  if ((p0 & 0x08) != 0 || (p1 & 0x04) == 0 || (p2 & 0x08) == 0) return false;
  const OpcodeGrid* grid = nullptr;
  switch (p0 & 7) {
    case 1: grid = &kEvex0F, out.map = OpcodeMap::k0F; break;
    case 2: grid = &kEvex0F38, out.map = OpcodeMap::k0F38; break;
    case 3: grid = &kEvex0F3A, out.map = OpcodeMap::k0F3A; break;
    case 5: grid = &kEvexMap5, out.map = OpcodeMap::kMap5; break;
    case 6: grid = &kEvexMap6, out.map = OpcodeMap::kMap6; break;
    default: return false;
  }
  out.encoding = Encoding::kEvex;
  out.opcodeOffset = static_cast<uint8_t>(pos);
  out.opcode = code[opcodePos];
  if (!FinishVector(code, available, opcodePos + 1, prefixes, *grid,
                    static_cast<MandatoryPrefix>(p1 & 3), out)) {
    return false;
  }
  // Zeroing needs a mask register; vector length 11 exists only as a rounding mode (b with a
  // register operand).
  const bool zeroing = (p2 & 0x80) != 0;
  const bool broadcastOrRounding = (p2 & 0x10) != 0;
  if (zeroing && (p2 & 7) == 0) return false;
  return (p2 & 0x60) != 0x60 || (broadcastOrRounding && !IsMemory(out.modrm));
}

}  // namespace detour::decoding
