#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "code_buffer.h"
#include "detour.h"

namespace detour {
namespace {

using test::CodeBuffer;

TEST(HookApi, StatusNames) {
  const char* names[] = {"MH_UNKNOWN",
                         "MH_OK",
                         "MH_ERROR_ALREADY_INITIALIZED",
                         "MH_ERROR_NOT_INITIALIZED",
                         "MH_ERROR_ALREADY_CREATED",
                         "MH_ERROR_NOT_CREATED",
                         "MH_ERROR_ENABLED",
                         "MH_ERROR_DISABLED",
                         "MH_ERROR_NOT_EXECUTABLE",
                         "MH_ERROR_UNSUPPORTED_FUNCTION",
                         "MH_ERROR_MEMORY_ALLOC",
                         "MH_ERROR_MEMORY_PROTECT",
                         "MH_ERROR_MODULE_NOT_FOUND",
                         "MH_ERROR_FUNCTION_NOT_FOUND"};
  for (int value = -1; value <= 12; ++value) {
    EXPECT_STREQ(MH_StatusToString(static_cast<MH_STATUS>(value)), names[value + 1]);
  }
  EXPECT_STREQ(MH_StatusToString(static_cast<MH_STATUS>(13)), "(unknown)");
  EXPECT_STREQ(MH_StatusToString(static_cast<MH_STATUS>(-2)), "(unknown)");
}

// int f(int x) { return x + 1; } in cdecl, preceded by a frame so it is hookable.
void* EmitAddOne(CodeBuffer& code) {
  void* start = code.cursor();
  code.Emit({0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x40, 0x5D, 0xC3});
  return start;
}

TEST(HookApi, EveryMisuseAnswersItsStatus) {
  CodeBuffer code;
  void* target = EmitAddOne(code);
  code.SetCursor(0x40);
  void* other = EmitAddOne(code);
  code.Protect(PAGE_EXECUTE_READ);
  static int notCode = 0;
  void* original = nullptr;

  EXPECT_EQ(MH_CreateHook(target, other, &original), MH_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(MH_EnableHook(target), MH_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(MH_DisableHook(MH_ALL_HOOKS), MH_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(MH_QueueEnableHook(target), MH_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(MH_ApplyQueued(), MH_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(MH_RemoveHook(target), MH_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(MH_Uninitialize(), MH_ERROR_NOT_INITIALIZED);

  ASSERT_EQ(MH_Initialize(), MH_OK);
  EXPECT_EQ(MH_Initialize(), MH_ERROR_ALREADY_INITIALIZED);
  EXPECT_EQ(MH_CreateHook(&notCode, other, &original), MH_ERROR_NOT_EXECUTABLE);
  EXPECT_EQ(MH_CreateHook(target, &notCode, &original), MH_ERROR_NOT_EXECUTABLE);
  EXPECT_EQ(MH_CreateHook(nullptr, other, &original), MH_ERROR_NOT_EXECUTABLE);
  EXPECT_EQ(MH_EnableHook(target), MH_ERROR_NOT_CREATED);
  EXPECT_EQ(MH_QueueEnableHook(target), MH_ERROR_NOT_CREATED);
  EXPECT_EQ(MH_RemoveHook(target), MH_ERROR_NOT_CREATED);

  ASSERT_EQ(MH_CreateHook(target, other, &original), MH_OK);
  EXPECT_EQ(MH_CreateHook(target, other, &original), MH_ERROR_ALREADY_CREATED);
  EXPECT_EQ(MH_DisableHook(target), MH_ERROR_DISABLED);
  EXPECT_EQ(MH_EnableHook(target), MH_OK);
  EXPECT_EQ(MH_EnableHook(target), MH_ERROR_ENABLED);
  EXPECT_EQ(reinterpret_cast<int (*)(int)>(target)(41), 42) << "the detour is another add-one";
  EXPECT_EQ(MH_DisableHook(target), MH_OK);
  EXPECT_EQ(MH_DisableHook(target), MH_ERROR_DISABLED);
  // Enabling or disabling all hooks when none needs it is not an error.
  EXPECT_EQ(MH_DisableHook(MH_ALL_HOOKS), MH_OK);
  EXPECT_EQ(MH_ApplyQueued(), MH_OK);
  EXPECT_EQ(MH_EnableHook(MH_ALL_HOOKS), MH_OK);
  EXPECT_EQ(MH_EnableHook(MH_ALL_HOOKS), MH_OK);
  // Removing an enabled hook disables it first; uninitialising removes the rest.
  EXPECT_EQ(MH_RemoveHook(target), MH_OK);
  EXPECT_EQ(static_cast<uint8_t*>(target)[0], 0x55);
  ASSERT_EQ(MH_CreateHook(target, other, &original), MH_OK);
  ASSERT_EQ(MH_EnableHook(target), MH_OK);
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
  EXPECT_EQ(static_cast<uint8_t*>(target)[0], 0x55);
}

int __attribute__((noinline)) Doubled(int x) { return x * 2; }

struct Counters {
  static volatile long calls;
};
volatile long Counters::calls = 0;
int (*gDoubledOriginal)(int) = nullptr;
int CountingDoubled(int x) {
  Counters::calls = Counters::calls + 1;
  return gDoubledOriginal(x) + 1000;
}

TEST(HookApi, QueuedChangesApplyTogether) {
  CodeBuffer code;
  void* a = EmitAddOne(code);
  code.SetCursor(0x40);
  void* b = EmitAddOne(code);
  code.SetCursor(0x80);
  void* detour = EmitAddOne(code);
  code.Protect(PAGE_EXECUTE_READ);
  const auto call = [](void* f, int x) { return reinterpret_cast<int (*)(int)>(f)(x); };
  // Detour of both: add-one, so a hooked call still returns x + 1; the trampolines prove
  // themselves below by returning x + 1 as well.
  void* originalA = nullptr;
  void* originalB = nullptr;
  ASSERT_EQ(MH_Initialize(), MH_OK);
  ASSERT_EQ(MH_CreateHook(a, detour, &originalA), MH_OK);
  ASSERT_EQ(MH_CreateHook(b, detour, &originalB), MH_OK);
  ASSERT_EQ(MH_QueueEnableHook(a), MH_OK);
  EXPECT_EQ(static_cast<uint8_t*>(a)[0], 0x55) << "queued only";
  ASSERT_EQ(MH_QueueEnableHook(b), MH_OK);
  ASSERT_EQ(MH_ApplyQueued(), MH_OK);
  EXPECT_EQ(static_cast<uint8_t*>(a)[0], 0xE9);
  EXPECT_EQ(static_cast<uint8_t*>(b)[0], 0xE9);
  EXPECT_EQ(MH_EnableHook(a), MH_ERROR_ENABLED);
  EXPECT_EQ(call(originalA, 1), 2);
  EXPECT_EQ(call(originalB, 2), 3);
  ASSERT_EQ(MH_QueueDisableHook(MH_ALL_HOOKS), MH_OK);
  ASSERT_EQ(MH_ApplyQueued(), MH_OK);
  EXPECT_EQ(static_cast<uint8_t*>(a)[0], 0x55);
  EXPECT_EQ(static_cast<uint8_t*>(b)[0], 0x55);
  EXPECT_EQ(MH_Uninitialize(), MH_OK);

  // A compiled C++ function, hooked with a compiled detour that calls through its trampoline.
  ASSERT_EQ(MH_Initialize(), MH_OK);
  ASSERT_EQ(MH_CreateHook(reinterpret_cast<void*>(&Doubled), reinterpret_cast<void*>(&CountingDoubled),
                          reinterpret_cast<void**>(&gDoubledOriginal)),
            MH_OK);
  ASSERT_EQ(MH_EnableHook(MH_ALL_HOOKS), MH_OK);
  int (*volatile doubled)(int) = &Doubled;
  EXPECT_EQ(doubled(21), 1042);
  EXPECT_EQ(Counters::calls, 1);
  ASSERT_EQ(MH_DisableHook(MH_ALL_HOOKS), MH_OK);
  EXPECT_EQ(doubled(21), 42);
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
}

TEST(HookApi, TargetChangedBySomeoneElseIsNotPatched) {
  CodeBuffer code;
  void* target = EmitAddOne(code);
  code.SetCursor(0x40);
  void* detour = EmitAddOne(code);
  void* original = nullptr;
  ASSERT_EQ(MH_Initialize(), MH_OK);
  ASSERT_EQ(MH_CreateHook(target, detour, &original), MH_OK);
  static_cast<uint8_t*>(target)[3] = 0x8B;  // another tool rewrote the second instruction...
  static_cast<uint8_t*>(target)[4] = 0x4D;  // mov ecx, [ebp+8] instead of mov eax, [ebp+8]
  EXPECT_EQ(MH_EnableHook(target), MH_ERROR_UNSUPPORTED_FUNCTION);
  EXPECT_EQ(static_cast<uint8_t*>(target)[0], 0x55) << "nothing written";
  static_cast<uint8_t*>(target)[4] = 0x45;
  static_cast<uint8_t*>(target)[3] = 0x8B;
  ASSERT_EQ(MH_EnableHook(target), MH_OK);
  static_cast<uint8_t*>(target)[1] = 0x00;  // someone patched over our jump
  EXPECT_EQ(MH_DisableHook(target), MH_ERROR_UNSUPPORTED_FUNCTION);
  EXPECT_EQ(static_cast<uint8_t*>(target)[1], 0x00) << "their bytes are left alone";
  // Put our jump back so the hook can be torn down.
  const int32_t displacement = static_cast<int32_t>(static_cast<uint8_t*>(detour) -
                                                    (static_cast<uint8_t*>(target) + 5));
  memcpy(static_cast<uint8_t*>(target) + 1, &displacement, 4);
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
  EXPECT_EQ(static_cast<uint8_t*>(target)[0], 0x55);
}

TEST(HookApi, UnsupportedFunctionsAreRefusedWithoutSideEffects) {
  CodeBuffer code;
  uint8_t* tiny = code.cursor();
  code.Emit({0xC3, 0xCC, 0xCC, 0xCC, 0xCC});  // a bare RET
  code.SetCursor(0x40);
  void* detour = EmitAddOne(code);
  void* original = reinterpret_cast<void*>(0x1);
  ASSERT_EQ(MH_Initialize(), MH_OK);
  EXPECT_EQ(MH_CreateHook(tiny, detour, &original), MH_ERROR_UNSUPPORTED_FUNCTION);
  EXPECT_EQ(original, reinterpret_cast<void*>(0x1));
  EXPECT_EQ(MH_EnableHook(tiny), MH_ERROR_NOT_CREATED);
  EXPECT_STREQ(MH_UnsupportedReason(tiny), "it returns or jumps away within 5 bytes");
  // A 16-bit short jcc: its destination wraps within 64 KB, which a relocated copy would not.
  code.SetCursor(0x20);
  uint8_t* wrapping = code.cursor();
  code.Emit({0x66, 0x74, 0x05, 0x90, 0x90, 0x90, 0xC3});
  EXPECT_EQ(MH_CreateHook(wrapping, detour, &original), MH_ERROR_UNSUPPORTED_FUNCTION);
  const char* reason = MH_UnsupportedReason(wrapping);
  ASSERT_NE(reason, nullptr);
  EXPECT_NE(strstr(reason, "16-bit operand size"), nullptr) << reason;
  EXPECT_EQ(MH_UnsupportedReason(tiny), nullptr) << "the reason belongs to the latest refusal";
  // Execute-only memory cannot be read to decode it.
  CodeBuffer executeOnly;
  executeOnly.Emit({0x55, 0x8B, 0xEC, 0x5D, 0xC3});
  executeOnly.Protect(PAGE_EXECUTE);
  EXPECT_EQ(MH_CreateHook(executeOnly.base(), detour, &original), MH_ERROR_UNSUPPORTED_FUNCTION);
  EXPECT_STREQ(MH_UnsupportedReason(executeOnly.base()), "its first bytes cannot be read");
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
}

}  // namespace
}  // namespace detour
