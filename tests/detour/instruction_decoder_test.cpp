#include "instruction_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/signature_table.h"

namespace detour {
namespace {

std::vector<uint8_t> Bytes(const char* hex) {
  std::vector<uint8_t> bytes;
  for (const char* p = hex; *p != '\0';) {
    while (*p == ' ') ++p;
    if (*p == '\0') break;
    bytes.push_back(static_cast<uint8_t>(std::stoul(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return bytes;
}

int LengthOf(const std::vector<uint8_t>& bytes, size_t available) {
  DecodedInstruction d;
  return DecodeInstruction(bytes.data(), available, d) ? d.length : -1;
}

// Lengths cross-checked against a disassembler, one instruction per row (FWAIT stands alone).
TEST(InstructionDecoder, KnownEncodings) {
  const struct {
    const char* bytes;
    int length;
  } table[] = {
      {"90", 1},
      {"C3", 1},
      {"C2 08 00", 3},
      {"CC", 1},
      {"CD 2E", 2},
      {"55", 1},
      {"8B EC", 2},
      {"8B 45 08", 3},
      {"8B 44 24 04", 4},
      {"8B 04 24", 3},
      {"8B 05 78 56 34 12", 6},
      {"8B 84 24 00 01 00 00", 7},
      {"8B 04 85 00 10 00 00", 7},
      {"8B 44 8D FC", 4},
      {"89 4C 24 10", 4},
      {"8D 4C 24 10", 4},
      {"8D 64 24 00", 4},
      {"81 EC 1C 02 00 00", 6},
      {"83 EC 18", 3},
      {"80 7C 24 08 00", 5},
      {"81 7C 24 08 78 56 34 12", 8},
      {"C7 45 FC 00 00 00 00", 7},
      {"C7 05 00 10 00 00 01 00 00 00", 10},
      {"66 C7 45 FC 34 12", 6},
      {"66 C7 05 00 10 00 00 34 12", 9},
      {"66 B8 34 12", 4},
      {"B8 78 56 34 12", 5},
      {"66 A1 00 10 00 00", 6},
      {"A1 00 10 00 00", 5},
      {"67 A1 00 10", 4},
      {"67 8B 46 10", 4},
      {"67 8B 06 34 12", 5},
      {"67 8B 00", 3},
      {"F6 C1 01", 3},
      {"F6 D1", 2},
      {"F7 C1 78 56 34 12", 6},
      {"66 F7 C1 34 12", 5},
      {"F7 D8", 2},
      // Reg field 1 is an undocumented alias of TEST and carries the same immediate.
      {"F6 C9 01", 3},
      {"F6 4D FC 01", 4},
      {"F6 8C 24 00 01 00 00 01", 8},
      {"F6 0C 25 00 10 00 00 01", 8},
      {"F7 C9 78 56 34 12", 6},
      {"F7 4D FC 78 56 34 12", 7},
      {"F7 8C 24 00 01 00 00 78 56 34 12", 11},
      {"66 F7 C9 34 12", 5},
      {"66 F7 4D FC 34 12", 6},
      {"66 F7 0C 25 00 10 00 00 34 12", 10},
      {"6A FF", 2},
      {"68 78 56 34 12", 5},
      {"69 C0 10 27 00 00", 6},
      {"6B C0 0A", 3},
      {"C8 10 00 00", 4},
      {"9A 78 56 34 12 08 00", 7},
      {"EA 78 56 34 12 08 00", 7},
      {"66 9A 34 12 08 00", 6},
      {"74 05", 2},
      {"0F 84 00 01 00 00", 6},
      {"66 0F 84 00 01", 5},
      {"E8 78 56 34 12", 5},
      {"E9 78 56 34 12", 5},
      {"EB FE", 2},
      {"E2 FE", 2},
      {"E3 02", 2},
      {"FF 15 00 10 00 00", 6},
      {"FF 25 00 10 00 00", 6},
      {"FF E0", 2},
      {"FF D0", 2},
      {"FE C0", 2},
      {"F3 A5", 2},
      {"F3 AB", 2},
      {"F0 0F B1 0A", 4},
      {"F0 FF 05 00 10 00 00", 7},
      {"64 A1 00 00 00 00", 6},
      {"64 A3 00 00 00 00", 6},
      {"64 8B 0D 18 00 00 00", 7},
      {"2E 74 05", 3},
      {"3E FF E0", 3},
      {"D9 EE", 2},
      {"D9 45 08", 3},
      {"DD 5D BC", 3},
      {"DF E0", 2},
      {"DE C9", 2},
      {"D8 41 28", 3},
      {"DA 0D 00 10 00 00", 6},
      {"DB 2D 00 10 00 00", 6},
      {"9B", 1},
      {"D9 C9", 2},
      {"0F 0B", 2},
      {"0F A2", 2},
      {"0F 31", 2},
      {"0F 05", 2},
      {"0F 1F 00", 3},
      {"0F 1F 44 00 00", 5},
      {"66 0F 1F 44 00 00", 6},
      {"0F 1F 80 00 00 00 00", 7},
      {"66 0F 1F 84 00 00 00 00 00", 9},
      {"0F B6 45 08", 4},
      {"0F BF C8", 3},
      {"0F AF C1", 3},
      {"0F 94 C0", 3},
      {"0F 44 C1", 3},
      {"0F A4 C2 04", 4},
      {"0F AC C2 04", 4},
      {"0F BA E0 03", 4},
      {"0F C7 0E", 3},
      {"0F AE F0", 3},
      {"0F AE 5D FC", 4},
      {"0F 28 C1", 3},
      {"66 0F 6F 05 00 10 00 00", 8},
      {"F3 0F 10 45 08", 5},
      {"F2 0F 59 C1", 4},
      {"F3 0F 7E C1", 4},
      {"66 0F 70 C1 1B", 5},
      {"0F C6 C1 44", 4},
      {"0F C2 C1 02", 4},
      {"66 0F 3A 0F C1 08", 6},
      {"66 0F 3A 16 C0 01", 6},
      {"66 0F 38 00 C1", 5},
      {"66 0F 38 17 C1", 5},
      {"F2 0F 38 F1 C1", 5},
      {"0F 38 F0 06", 4},
      {"C5 F8 77", 3},
      {"C5 FC 77", 3},
      {"C5 F9 6F 05 00 10 00 00", 8},
      {"C5 F8 28 C1", 4},
      {"C4 E2 79 18 00", 5},
      {"C4 E3 79 0F C1 08", 6},
      {"C5 F9 70 C1 1B", 5},
      {"C4 C1 78 28 C1", 5},
      {"8F 45 FC", 3},
      {"C6 45 FF 01", 4},
      {"C7 F8 00 00 00 00", 6},
      {"62 00", 2},
      {"C4 00", 2},
      {"C5 00", 2},
      {"D5 0A", 2},
      {"D4 0A", 2},
      {"A8 01", 2},
      {"A9 78 56 34 12", 5},
      {"C0 E0 04", 3},
      {"C1 E0 04", 3},
      {"D1 E0", 2},
      {"D3 E0", 2},
      {"E4 60", 2},
      {"E5 60", 2},
      {"EC", 1},
      {"F1", 1},
      {"F4", 1},
      {"9C", 1},
      {"9D", 1},
      {"8C D8", 2},
      {"8E D8", 2},
      {"63 C0", 2},
      {"D6", 1},  // SALC
      {"66 0F 78 C0 01 02", 6},  // EXTRQ and INSERTQ (AMD) carry two immediates
      {"F2 0F 78 C1 01 02", 6},
      {"F3 0F 3A F0 C0 01", 6},  // HRESET
      // MOV to or from a control or debug register is the register form whatever mod says.
      {"0F 20 05", 3},
      {"67 0F 23 9D", 4},
      {"67 C5 FD 5D 34", 5},  // 16-bit addressing: no SIB
      {"67 C4 E2 79 18 06 34 12", 8},  // disp16 where 32-bit addressing has none
      // EVEX: four bytes before the opcode; a compressed disp8 is still one byte.
      {"62 F1 7C 48 10 3E", 6},
      {"62 F1 FD 48 10 60 01", 7},
      {"62 F3 FD 48 3B D8 01", 7},
      {"62 F2 55 48 B8 C4", 6},
      {"62 F1 7D 48 72 E0 05", 7},
      {"67 62 F1 7C 48 10 46 10", 8},
  };
  for (const auto& row : table) {
    std::vector<uint8_t> bytes = Bytes(row.bytes);
    bytes.resize(bytes.size() + 16, 0x90);  // room after it: the length must not depend on it
    EXPECT_EQ(LengthOf(bytes, bytes.size()), row.length) << row.bytes;
    // Cut one byte short, the instruction is refused rather than guessed.
    EXPECT_EQ(LengthOf(bytes, static_cast<size_t>(row.length) - 1), -1) << row.bytes;
  }
}

TEST(InstructionDecoder, RefusesInvalidOrUnknownBytes) {
  const char* const refused[] = {
      "0F 04", "0F 0A", "0F 24 C0", "0F 38 50 C0", "0F 3A 00 C0 01", "FF FF", "FE D0",
      "62 C0 7C 48 28 C1", "66 C5 F8 77", "F3 C4 E2 79 18 00", "C4 E4 79 18 00", "0F 7A",
      "66 0F 78 C8 01 02", "66 66 66 66 66 66 66 66 66 66 66 66 66 66 66 90", "F0", "26 2E 36",
      // XOP (AMD only) is not decoded; POP is 8F /0 alone.
      "8F A8 CC A2 0D 89 7E ED DD 21", "8F C8 00",
      // LOCK only on a read-modify-write of memory.
      "F0 90", "F0 01 C0", "F0 8B 00",
      // Register forms that do not exist; C6/C7 /1-/6; MOV to CS.
      "FF D8", "FF E8", "8D C0", "C6 C8 00", "C7 D0 00 00 00 00", "C6 F9 00", "8E C8",
      // Undefined 3DNow! suffix, VEX opcode and mandatory prefix combinations.
      "0F 0F C1 00", "C5 F8 6F C1", "F2 0F 54 C1", "F3 0F 38 00 C1", "F2 66 0F 54 C1",
      // MPX has bound registers 0-3 and no 16-bit addressing; prefixes GETSEC and CLAC refuse.
      "0F 1A 21", "67 0F 1A 01", "66 0F 37", "66 0F 01 CA",
  };
  for (const char* hex : refused) {
    std::vector<uint8_t> bytes = Bytes(hex);
    EXPECT_EQ(LengthOf(bytes, bytes.size()), -1) << hex;
  }
  // Fourteen prefixes and an opcode are exactly the 15-byte limit.
  const std::vector<uint8_t> longest = Bytes("66 66 66 66 66 66 66 66 66 66 66 66 66 66 90");
  EXPECT_EQ(LengthOf(longest, longest.size()), 15);
}

TEST(InstructionDecoder, DescribesRelativeBranches) {
  const struct {
    const char* bytes;
    uintptr_t address;
    BranchKind kind;
    uintptr_t destination;
    bool endsFlow;
  } table[] = {
      {"74 05", 0x1000, BranchKind::kJccShort, 0x1007, false},
      {"2E 74 FB", 0x1000, BranchKind::kJccShort, 0x0FFE, false},
      {"EB FE", 0x1000, BranchKind::kJmpShort, 0x1000, true},
      {"E2 FE", 0x1000, BranchKind::kLoopOrJcxz, 0x1000, false},
      {"E3 02", 0x1000, BranchKind::kLoopOrJcxz, 0x1004, false},
      {"E8 78 00 00 00", 0x1000, BranchKind::kCall, 0x107D, false},
      {"E9 00 F0 FF FF", 0x1000, BranchKind::kJmp, 0x0005, true},
      {"0F 8F 00 01 00 00", 0x1000, BranchKind::kJccNear, 0x1106, false},
      {"C7 F8 10 00 00 00", 0x1000, BranchKind::kXbegin, 0x1016, false},
      // With a 16-bit operand size the processor keeps only the low 16 bits of the new EIP.
      {"66 E9 10 00", 0x401000, BranchKind::kJmp, 0x1014, true},
      {"66 EB 67", 0x40FFF0, BranchKind::kJmpShort, 0x005A, true},
      {"66 E2 9C", 0x401000, BranchKind::kLoopOrJcxz, 0x0F9F, false},
      {"66 E8 10 00", 0x40FFF0, BranchKind::kCall, 0x0004, false},
      {"66 0F 84 00 80", 0x7000, BranchKind::kJccNear, 0xF005, false},
      {"66 C7 F8 10 00", 0x40FFF0, BranchKind::kXbegin, 0x410005, false},  // no wrap for XBEGIN
  };
  for (const auto& row : table) {
    const std::vector<uint8_t> bytes = Bytes(row.bytes);
    DecodedInstruction d;
    ASSERT_TRUE(DecodeInstruction(bytes.data(), bytes.size(), d)) << row.bytes;
    EXPECT_EQ(d.branch, row.kind) << row.bytes;
    EXPECT_EQ(BranchDestination(row.address, bytes.data(), d), row.destination) << row.bytes;
    EXPECT_EQ(d.endsFlow, row.endsFlow) << row.bytes;
  }
  for (const char* hex : {"C3", "C2 04 00", "CB", "CF", "FF E0", "FF 25 00 10 00 00", "EA 00 00 00 00 08 00"}) {
    const std::vector<uint8_t> bytes = Bytes(hex);
    DecodedInstruction d;
    ASSERT_TRUE(DecodeInstruction(bytes.data(), bytes.size(), d)) << hex;
    EXPECT_TRUE(d.endsFlow) << hex;
    EXPECT_EQ(d.branch, BranchKind::kNone) << hex;
  }
}

// Every engine prologue decodes instruction by instruction (boundaries cross-checked against a
// disassembler) up to the signature's end, where a cut instruction is refused.
TEST(InstructionDecoder, EverySignatureOfTheEngine) {
  const std::vector<std::vector<int>> expected = {
      {1, 2, 2, 5, 6, 1, 3, 5, 2, 3, 1, 1, 1, 1, 3, 6, 5, 2, 5, 2, 3, 3},
      {1, 2, 1, 1, 3, 1, 1, 2, 3, 2, 3, 2, 2},
      {1, 2, 3, 6, 3, 3, 2, 3},
      {1, 2, 3, 2, 1, 2, 6, 3},
      {1, 2, 3, 3, 3, 2, 2, 2, 2, 2},
      {1, 2, 3, 3, 3, 2, 2, 2, 2, 2},
      {1, 2, 3, 2, 3, 6},
      {1, 2, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2},
      {1, 2, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2},
      {1, 2, 1, 2, 7, 2, 3, 1, 6, 2, 3},
      {1, 2, 1, 2, 7, 2, 3, 2, 3, 3, 2},
      {1, 2, 3, 1, 3, 5, 1, 3},
      {1, 2, 3, 1, 1, 1, 3, 2, 5, 3, 1, 2, 3},
      {1, 2, 1, 1, 1, 2, 7, 6, 5, 3, 2},
      {1, 2, 5, 3, 1, 1},
      {6, 1},
      {6, 1, 6, 3, 2, 3, 1},
      {1, 2, 3, 1, 1, 6, 3, 3, 2, 1, 3, 5},
      {1, 2, 6, 1, 1, 2, 2, 3, 6},
      {1, 2, 6, 5, 2, 3, 1, 1, 2},
      {1, 2, 3, 2, 1, 3, 1, 3, 3, 6, 2, 3},
      {1, 2, 7, 2, 6, 2, 2, 2, 5},
      {1, 2, 3, 1, 1, 2, 2, 1, 3, 2, 3, 5, 3, 1},
      {1, 2, 3, 3, 2, 3, 3, 2, 3, 3, 1, 3},
      {1, 2, 3, 1, 2, 4, 2, 2, 1, 2, 1, 3, 3, 3},
      {1, 2, 3, 1, 1, 2, 1, 3, 2, 5, 2, 2, 3, 2},
  };
  const std::vector<std::vector<int>> expectedAlternative = {
      {1, 2, 1, 2, 7, 2, 3, 1, 6, 2, 3},       {1, 2, 1, 2, 7, 2, 3, 2, 3, 3, 2},
      {1, 2, 3, 1, 3, 5, 1, 3},                {1, 2, 1, 3, 1, 1, 1, 3, 2, 5, 3, 1, 2, 3},
      {1, 2, 3, 1, 2, 7, 6, 5, 3, 2},          {1, 2, 5, 3, 1, 1},
      {1, 2, 2, 3, 1, 2, 3, 6, 2, 3, 2, 3, 2},
  };
  const auto lengths = [](const uint8_t* pattern, const char* mask, uint32_t size) {
    std::vector<uint8_t> bytes(pattern, pattern + size);
    for (uint32_t i = 0; i < size; ++i) {
      if (mask[i] != 'x') bytes[i] = 0x90;
    }
    std::vector<int> result;
    size_t offset = 0;
    DecodedInstruction d;
    while (offset < size && DecodeInstruction(bytes.data() + offset, size - offset, d)) {
      result.push_back(d.length);
      offset += d.length;
    }
    return result;
  };
  const driftglass::SignatureSpec* table = driftglass::SignatureTable();
  size_t alternative = 0;
  for (uint32_t i = 0; i < driftglass::kSignatureCount; ++i) {
    const driftglass::SignatureSpec& s = table[i];
    EXPECT_EQ(lengths(s.pattern, s.mask, s.patternLength), expected[i]) << s.name;
    if (s.alternative != nullptr) {
      EXPECT_EQ(lengths(s.alternative, s.alternativeMask, s.alternativeLength),
                expectedAlternative[alternative++])
          << s.name << " (alternative)";
    }
  }
}

}  // namespace
}  // namespace detour
