#include "host/signature_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace driftglass {
namespace {

TEST(SignatureTable, LengthsMasksAndOrderMatchTheHostBuilds) {
  // Byte counts per function as the host's code has them; a slip in the table changes them.
  const uint32_t lengths[kSignatureCount] = {64, 24, 24, 24, 24, 24, 24, 32, 32, 32, 32, 19, 32,
                                             32, 13, 7,  22, 32, 24, 24, 32, 32, 32, 29, 32, 32};
  const SignatureSpec* table = SignatureTable();
  std::set<uint32_t> mappings;
  uint32_t alternatives = 0;
  for (uint32_t i = 0; i < kSignatureCount; ++i) {
    const SignatureSpec& s = table[i];
    EXPECT_EQ(s.patternLength, lengths[i]) << i;
    EXPECT_EQ(s.maskLength, s.patternLength) << i;
    EXPECT_EQ(strlen(s.mask), s.maskLength) << i;
    EXPECT_STREQ(s.name, EngineMappingName(s.mapping));
    if (i > 0) {
      EXPECT_GT(s.mapping, table[i - 1].mapping) << "resolution order";
    }
    mappings.insert(s.mapping);
    if (s.alternative != nullptr) {
      ++alternatives;
      EXPECT_EQ(s.alternativeLength, s.patternLength) << i;
      EXPECT_EQ(strlen(s.alternativeMask), s.alternativeLength) << i;
      EXPECT_NE(memcmp(s.pattern, s.alternative, s.patternLength), 0) << i;
    }
  }
  EXPECT_EQ(alternatives, 7u);
  EXPECT_EQ(mappings.size(), kSignatureCount);
}

TEST(SignatureTable, WildcardsAndBytesAtKnownPlaces) {
  const SignatureSpec* table = SignatureTable();
  // cEngine::Run: push -1, then push imm32 (the SEH handler) is a wildcard.
  EXPECT_EQ(std::string(table[0].mask, 12), "xxxxxx????xx");
  EXPECT_EQ(table[0].pattern[4], 0xFF);
  // iEntity3D::GetEntityParent is the complete 7-byte getter.
  const uint8_t parent[] = {0x8B, 0x81, 0x88, 0x02, 0x00, 0x00, 0xC3};
  EXPECT_EQ(memcmp(table[15].pattern, parent, 7), 0);
  EXPECT_STREQ(table[15].mask, "xxxxxxx");
  // cLuxPlayerHands::PostUpdate differs from its alternative only in the call's displacement.
  EXPECT_EQ(table[11].pattern[11], 0xBA);
  EXPECT_EQ(table[11].alternative[11], 0x51);
}

}  // namespace
}  // namespace driftglass
