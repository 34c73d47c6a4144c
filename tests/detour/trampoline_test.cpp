#include "trampoline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "code_buffer.h"

namespace detour {
namespace {

constexpr uintptr_t kTrampolineAt = 0x50000000;

struct Built {
  bool ok;
  Trampoline t;
  uintptr_t target;
};

// The target's bytes live in ordinary memory: building only reads them.
Built Build(std::vector<uint8_t> bytes, size_t readable = 0) {
  bytes.resize(64, 0xCC);
  static std::vector<uint8_t> storage;
  storage = bytes;
  Built b{};
  b.target = reinterpret_cast<uintptr_t>(storage.data());
  b.ok = BuildTrampoline(storage.data(), readable ? readable : storage.size(), kTrampolineAt, b.t) ==
         TrampolineResult::kBuilt;
  return b;
}

int32_t Rel32At(const Trampoline& t, uint32_t offset) {
  int32_t value;
  memcpy(&value, t.code + offset, 4);
  return value;
}

uintptr_t Destination(const Trampoline& t, uint32_t fieldOffset) {
  return kTrampolineAt + fieldOffset + 4 + static_cast<uintptr_t>(Rel32At(t, fieldOffset));
}

TEST(Trampoline, CopiesWholeInstructionsAndJumpsBack) {
  const Built b = Build({0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x18, 0xFF, 0x05});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.t.copiedLength, 6u);
  EXPECT_EQ(b.t.instructionCount, 3u);
  EXPECT_EQ(memcmp(b.t.code, "\x55\x8B\xEC\x83\xEC\x18", 6), 0);
  EXPECT_EQ(b.t.code[6], 0xE9);
  EXPECT_EQ(Destination(b.t, 7), b.target + 6);
  EXPECT_EQ(b.t.codeLength, 11u);
}

TEST(Trampoline, RetargetsRelativeCallsAndWidensShortBranches) {
  // push esi; mov esi, ecx; call +0x78 -- the call must still reach target + 8 + 0x78.
  Built b = Build({0x56, 0x8B, 0xF1, 0xE8, 0x78, 0x00, 0x00, 0x00, 0x8D, 0x46, 0x6C});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.t.code[3], 0xE8);
  EXPECT_EQ(Destination(b.t, 4), b.target + 8 + 0x78);

  // xor eax, eax; je +5; ... -- widened to 0F 84 rel32 with the same destination.
  b = Build({0x33, 0xC0, 0x74, 0x05, 0x90, 0x90, 0x90});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.t.copiedLength, 5u);
  EXPECT_EQ(b.t.code[2], 0x0F);
  EXPECT_EQ(b.t.code[3], 0x84);
  EXPECT_EQ(Destination(b.t, 4), b.target + 4 + 5);
  EXPECT_EQ(b.t.trampolineOffset[3], 9u);  // the jump back, after the widened branch and the nop

  // A near jcc and a jmp rel32 that ends a 5-byte function keep their destinations.
  b = Build({0x0F, 0x85, 0x30, 0x01, 0x00, 0x00});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(Destination(b.t, 2), b.target + 6 + 0x130);
  b = Build({0xE9, 0x00, 0x10, 0x00, 0x00});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(Destination(b.t, 1), b.target + 5 + 0x1000);
}

TEST(Trampoline, BranchesBetweenCopiedInstructionsStayInside) {
  // nop; je +1 (to the second nop below); nop; nop
  Built b = Build({0x90, 0x74, 0x01, 0x90, 0x90, 0xC3});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(Destination(b.t, 3), kTrampolineAt + b.t.trampolineOffset[3]);
  // loop to a copied instruction: rel8 recomputed inside the trampoline.
  b = Build({0x90, 0xE2, 0x01, 0x90, 0x90, 0xC3});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.t.code[1], 0xE2);
  EXPECT_EQ(b.t.code[2], 0x01);
}

TEST(Trampoline, RefusesWhatCannotBeRelocated) {
  const std::vector<std::vector<uint8_t>> refused = {
      {0xE2, 0x10, 0x90, 0x90, 0x90},              // loop leaving the copied bytes
      {0xE3, 0xF0, 0x90, 0x90, 0x90},              // jecxz leaving them backwards
      {0x67, 0xE3, 0x10, 0x90, 0x90},              // jcxz
      {0xC3, 0x90, 0x90, 0x90, 0x90},              // ends after one byte
      {0x66, 0xE9, 0x10, 0x00, 0x90},              // 16-bit jump
      {0x66, 0x74, 0x05, 0x90, 0x90, 0x90},        // 16-bit short jcc: its destination wraps too
      {0xC7, 0xF8, 0x10, 0x00, 0x00, 0x00},        // xbegin
      {0x0F, 0x04, 0x90, 0x90, 0x90},              // undefined opcode
      {0x90, 0xEB, 0x01, 0x90, 0x90},              // short jmp ends the flow before 5 bytes
      // push ebp; mov ebp, esp; nop; nop; nop; jmp back to ebp+1 (inside the patch)
      {0x55, 0x8B, 0xEC, 0x90, 0x90, 0x90, 0xEB, 0xF9},
      // je from later code to byte 3, also inside the patch
      {0x55, 0x8B, 0xEC, 0x90, 0x90, 0x90, 0x90, 0x90, 0x0F, 0x84, 0xF5, 0xFF, 0xFF, 0xFF},
  };
  for (size_t i = 0; i < refused.size(); ++i) EXPECT_FALSE(Build(refused[i]).ok) << "case " << i;
  // A RET that ends exactly at byte 5 leaves room for the patch.
  EXPECT_TRUE(Build({0x33, 0xC0, 0xC2, 0x04, 0x00}).ok);
  // Not enough readable bytes for a whole first instruction.
  EXPECT_FALSE(Build({0x81, 0xEC, 0x1C, 0x02, 0x00, 0x00}, 4).ok);
}

TEST(Trampoline, LaterCallsOrJumpsToTheEntryAreFine) {
  // push ebp; mov ebp, esp; push -1; ...; call entry (recursion); jmp entry
  Built b = Build({0x55, 0x8B, 0xEC, 0x6A, 0xFF, 0xE8, 0xF6, 0xFF, 0xFF, 0xFF, 0xEB, 0xF4});
  EXPECT_TRUE(b.ok);
}

// A widened branch makes the trampoline longer than the bytes it copied; the jump back must still
// count only the target's own bytes.
TEST(Trampoline, JumpsBackPastTheOriginalBytesWhenABranchWasWidened) {
  // je and jmp rel8 within the first five bytes: the jump back goes to entry + 5.
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } widened[] = {{"je", {0x33, 0xC0, 0x74, 0x05, 0x90}}, {"jmp", {0x90, 0x90, 0x90, 0xEB, 0x10}}};
  for (const auto& row : widened) {
    const Built b = Build(row.bytes);
    ASSERT_TRUE(b.ok) << row.name;
    ASSERT_EQ(b.t.code[b.t.codeLength - 5], 0xE9) << row.name;
    EXPECT_EQ(Destination(b.t, b.t.codeLength - 4), b.target + 5) << row.name;
  }

  // fastcall int f(int a): test ecx, ecx; je (to mov eax, 999; ret); mov eax, ecx;
  // 14 x inc eax; ret. Each inc run after the jump back adds one: the result shows where it landed.
  test::CodeBuffer target;
  target.Emit({0x85, 0xC9, 0x74, 0x11, 0x8B, 0xC1});
  for (int i = 0; i < 14; ++i) target.Emit({0x40});
  target.Emit({0xC3, 0xB8}).Emit32(999).Emit({0xC3});
  target.Protect(PAGE_EXECUTE_READ);
  test::CodeBuffer trampolineCode;
  const auto at = reinterpret_cast<uintptr_t>(trampolineCode.base());
  Trampoline t;
  ASSERT_EQ(BuildTrampoline(target.base(), target.size(), at, t), TrampolineResult::kBuilt);
  ASSERT_EQ(t.copiedLength, 6u);
  trampolineCode.Emit(t.code, t.codeLength);
  trampolineCode.Protect(PAGE_EXECUTE_READ);
  const auto viaTrampoline =
      reinterpret_cast<int(__attribute__((fastcall)) *)(int)>(trampolineCode.base());
  EXPECT_EQ(viaTrampoline(5), 5 + 14);
  EXPECT_EQ(viaTrampoline(0), 999);  // the widened je still reaches its own destination
}

TEST(Trampoline, MapsThreadPositionsBothWays) {
  const Built b = Build({0x33, 0xC0, 0x74, 0x05, 0x90, 0x90});
  ASSERT_TRUE(b.ok);
  const uintptr_t t = b.target;
  EXPECT_EQ(MapTargetToTrampoline(b.t, t, kTrampolineAt, t + 2), kTrampolineAt + 2);
  EXPECT_EQ(MapTargetToTrampoline(b.t, t, kTrampolineAt, t + 4), kTrampolineAt + 8);
  EXPECT_EQ(MapTargetToTrampoline(b.t, t, kTrampolineAt, t + 5), t + 5);  // past the copy
  EXPECT_EQ(MapTrampolineToTarget(b.t, t, kTrampolineAt, kTrampolineAt + 8), t + 4);
  // Standing on the jump back means continuing after the copied bytes.
  EXPECT_EQ(MapTrampolineToTarget(b.t, t, kTrampolineAt, kTrampolineAt + 9), t + 5);
  EXPECT_EQ(MapTrampolineToTarget(b.t, t, kTrampolineAt, 0x1234), 0x1234u);
}

}  // namespace
}  // namespace detour
