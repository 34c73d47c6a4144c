// Hooks being switched while other threads run through them.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "code_buffer.h"
#include "detour.h"

namespace detour {
namespace {

using test::CodeBuffer;

// Spins inside its first five bytes until *flag (EAX) differs from ECX, then returns 1234:
//   +0 nop; +1 cmp [eax], ecx; +3 je +1; +5 mov eax, 1234; +10 ret
constexpr uint8_t kSpinner[] = {0x90, 0x39, 0x08, 0x74, 0xFC, 0xB8, 0xD2, 0x04, 0x00, 0x00, 0xC3};
// uint32_t CallSpinner(void* spinner, volatile long* flag)
constexpr uint8_t kCallSpinner[] = {0x8B, 0x44, 0x24, 0x08, 0x33, 0xC9, 0xFF, 0x54, 0x24, 0x04, 0xC3};

struct SpinnerCall {
  uint32_t (*callSpinner)(void*, volatile long*);
  void* entry;
  volatile long* flag;
};

DWORD WINAPI RunSpinner(void* parameter) {
  const SpinnerCall* call = static_cast<SpinnerCall*>(parameter);
  return call->callSpinner(call->entry, call->flag);
}

uintptr_t EipOf(HANDLE thread) {
  SuspendThread(thread);
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  GetThreadContext(thread, &context);
  ResumeThread(thread);
  return context.Eip;
}

DWORD Finish(HANDLE thread, volatile long* flag) {
  *flag = 1;
  EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  return code;
}

// Waits until the thread stands in [from, to).
bool WaitUntilInside(HANDLE thread, uintptr_t from, uintptr_t to) {
  for (int i = 0; i < 500; ++i) {
    const uintptr_t eip = EipOf(thread);
    if (eip >= from && eip < to) return true;
    Sleep(2);
  }
  return false;
}

TEST(HookThreads, ThreadInsideThePatchedBytesIsMovedBothWays) {
  CodeBuffer code;
  uint8_t* spinner = code.cursor();
  code.Emit(kSpinner, sizeof(kSpinner));
  code.SetCursor(0x40);
  auto* callSpinner = reinterpret_cast<uint32_t (*)(void*, volatile long*)>(code.cursor());
  code.Emit(kCallSpinner, sizeof(kCallSpinner));
  code.SetCursor(0x80);
  volatile long detourCalls = 0;
  void* original = nullptr;
  void* detour = test::EmitCountingDetour(code, &detourCalls, &original);
  code.Protect(PAGE_EXECUTE_READ);
  ASSERT_EQ(MH_Initialize(), MH_OK);
  ASSERT_EQ(MH_CreateHook(spinner, detour, &original), MH_OK);
  const auto trampoline = reinterpret_cast<uintptr_t>(original);
  const auto target = reinterpret_cast<uintptr_t>(spinner);

  // Enable while a thread spins on the very bytes the jump overwrites.
  volatile long flag = 0;
  SpinnerCall inTarget{callSpinner, spinner, &flag};
  HANDLE thread = CreateThread(nullptr, 0, &RunSpinner, &inTarget, 0, nullptr);
  ASSERT_TRUE(WaitUntilInside(thread, target + 1, target + 5));
  ASSERT_EQ(MH_EnableHook(spinner), MH_OK);
  const uintptr_t moved = EipOf(thread);
  EXPECT_TRUE(moved >= trampoline && moved < trampoline + 16) << std::hex << moved;
  EXPECT_EQ(Finish(thread, &flag), 1234u);
  EXPECT_EQ(detourCalls, 0) << "it was already inside the function";

  // Disable while a thread spins inside the trampoline, then free the trampoline before it may
  // leave: only a correct move back keeps it alive.
  flag = 0;
  SpinnerCall inTrampoline{callSpinner, original, &flag};
  thread = CreateThread(nullptr, 0, &RunSpinner, &inTrampoline, 0, nullptr);
  ASSERT_TRUE(WaitUntilInside(thread, trampoline, trampoline + 16));
  ASSERT_EQ(MH_DisableHook(spinner), MH_OK);
  const uintptr_t back = EipOf(thread);
  EXPECT_TRUE(back >= target + 1 && back < target + 5) << std::hex << back;
  ASSERT_EQ(MH_RemoveHook(spinner), MH_OK);
  EXPECT_EQ(Finish(thread, &flag), 1234u);
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
}

// 64-bit counts: a fast machine makes billions of calls while the hook is switched.
struct Hammer {
  int (*function)(int);
  std::atomic<bool>* stop;
  std::atomic<int64_t>* calls;
  std::atomic<int64_t>* wrong;
};

DWORD WINAPI HammerFunction(void* parameter) {
  const Hammer* h = static_cast<Hammer*>(parameter);
  for (int i = 0; !h->stop->load(); i = (i + 1) & 0xFFFFF) {  // i + 1 never overflows
    if (h->function(i) != i + 1) h->wrong->fetch_add(1);
    h->calls->fetch_add(1);
  }
  return 0;
}

// An add-one function hooked (not yet enabled) with a counting detour.
class HookedAddOne : public ::testing::Test {
 protected:
  void SetUp() override {
    addOne = reinterpret_cast<int (*)(int)>(code.cursor());
    code.Emit({0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x40, 0x5D, 0xC3});
    code.SetCursor(0x40);
    void* detour = test::EmitCountingDetour(code, &detourCalls, &original);
    code.Protect(PAGE_EXECUTE_READ);
    ASSERT_EQ(MH_Initialize(), MH_OK);
    ASSERT_EQ(MH_CreateHook(reinterpret_cast<void*>(addOne), detour, &original), MH_OK);
  }

  CodeBuffer code;
  int (*addOne)(int) = nullptr;
  volatile long detourCalls = 0;
  void* original = nullptr;
};

TEST_F(HookedAddOne, CallsKeepWorkingWhileTheHookIsSwitchedThousandsOfTimes) {
  std::atomic<bool> stop{false};
  std::atomic<int64_t> calls{0};
  std::atomic<int64_t> wrong{0};
  Hammer hammer{addOne, &stop, &calls, &wrong};
  HANDLE threads[2];
  for (HANDLE& t : threads) t = CreateThread(nullptr, 0, &HammerFunction, &hammer, 0, nullptr);
  while (calls.load() < 1000) Sleep(1);

  void* target = reinterpret_cast<void*>(addOne);
  int failures = 0;
  for (int i = 0; i < 1000; ++i) {
    failures += MH_EnableHook(target) != MH_OK;
    failures += MH_DisableHook(target) != MH_OK;
  }
  for (int i = 0; i < 500; ++i) {
    failures += MH_QueueEnableHook(target) != MH_OK;
    failures += MH_ApplyQueued() != MH_OK;
    failures += MH_QueueDisableHook(MH_ALL_HOOKS) != MH_OK;
    failures += MH_ApplyQueued() != MH_OK;
  }
  stop = true;
  WaitForMultipleObjects(2, threads, TRUE, 30000);
  for (HANDLE t : threads) CloseHandle(t);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(calls.load(), 1000);
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
}

struct Spawner {
  int (*function)(int);
  std::atomic<bool>* stop;
  std::atomic<long>* spawned;
  std::atomic<long>* wrong;
};

DWORD WINAPI CallOnce(void* parameter) {
  const Spawner* s = static_cast<Spawner*>(parameter);
  for (int i = 0; i < 50; ++i) {
    if (s->function(i) != i + 1) s->wrong->fetch_add(1);
  }
  return 0;
}

// Keeps starting short-lived threads that call the hooked function, so threads appear while
// others are being suspended.
DWORD WINAPI SpawnThreads(void* parameter) {
  const Spawner* s = static_cast<Spawner*>(parameter);
  while (!s->stop->load()) {
    HANDLE t = CreateThread(nullptr, 0, &CallOnce, parameter, 0, nullptr);
    if (t != nullptr) {
      s->spawned->fetch_add(1);
      CloseHandle(t);
    }
    Sleep(0);
  }
  return 0;
}

TEST_F(HookedAddOne, ThreadsStartedDuringSuspensionDoNotEscape) {
  std::atomic<bool> stop{false};
  std::atomic<long> spawned{0};
  std::atomic<long> wrong{0};
  Spawner spawner{addOne, &stop, &spawned, &wrong};
  HANDLE threads[2];
  for (HANDLE& t : threads) t = CreateThread(nullptr, 0, &SpawnThreads, &spawner, 0, nullptr);
  while (spawned.load() < 20) Sleep(1);
  int failures = 0;
  for (int i = 0; i < 60; ++i) {
    failures += MH_EnableHook(reinterpret_cast<void*>(addOne)) != MH_OK;
    failures += MH_DisableHook(reinterpret_cast<void*>(addOne)) != MH_OK;
  }
  stop = true;
  WaitForMultipleObjects(2, threads, TRUE, 30000);
  for (HANDLE t : threads) CloseHandle(t);
  Sleep(100);  // the last short-lived callers finish
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(spawned.load(), 20);
  EXPECT_EQ(MH_Uninitialize(), MH_OK);
}

}  // namespace
}  // namespace detour
