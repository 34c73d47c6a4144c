// The freezer against a scripted thread listing of real, parked threads.
#include "thread_freezer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace detour {
namespace {

// The system's 32-bit process and thread record layout, as the freezer reads it.
constexpr uint32_t kThreadCountInProcess = 4;
constexpr uint32_t kProcessIdInProcess = 68;
constexpr uint32_t kProcessRecordSize = 184;
constexpr uint32_t kThreadIdInThread = 36;
constexpr uint32_t kThreadRecordSize = 64;

DWORD gParkedIds[2];
int gListings = 0;

// The first listing shows one parked thread; later ones show both, as if the second had started
// while the first was being suspended.
LONG WINAPI ScriptedListing(ULONG, void* buffer, ULONG size, ULONG* needed) {
  const uint32_t threads = ++gListings == 1 ? 1 : 2;
  const uint32_t bytes = kProcessRecordSize + threads * kThreadRecordSize;
  if (needed != nullptr) *needed = bytes;
  if (size < bytes) return static_cast<LONG>(0xC0000004);  // length mismatch
  auto* out = static_cast<uint8_t*>(buffer);
  memset(out, 0, bytes);
  const DWORD process = GetCurrentProcessId();
  memcpy(out + kThreadCountInProcess, &threads, 4);
  memcpy(out + kProcessIdInProcess, &process, 4);
  for (uint32_t t = 0; t < threads; ++t) {
    memcpy(out + kProcessRecordSize + t * kThreadRecordSize + kThreadIdInThread, &gParkedIds[t], 4);
  }
  return 0;
}

volatile LONG gParked = 0;

DWORD WINAPI Park(void* release) {
  InterlockedIncrement(&gParked);
  WaitForSingleObject(release, INFINITE);
  return 0;
}

// The OS's own suspend count, left as it was.
DWORD SuspendCount(HANDLE thread) {
  const DWORD count = SuspendThread(thread);
  ResumeThread(thread);
  return count;
}

TEST(ThreadFreezer, SuspendsAThreadThatAppearsOnlyInALaterListing) {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE parked[2];
  gParked = 0;
  for (int i = 0; i < 2; ++i) parked[i] = CreateThread(nullptr, 0, &Park, release, 0, &gParkedIds[i]);
  while (gParked < 2) Sleep(1);  // past start-up, where contexts can be read
  gListings = 0;

  ThreadFreezer freezer;
  freezer.UseThreadQuery(&ScriptedListing);
  ASSERT_TRUE(freezer.Prepare());
  EXPECT_EQ(freezer.Freeze(), FreezeResult::kFrozen);
  EXPECT_EQ(freezer.count(), 2u);
  for (HANDLE t : parked) EXPECT_EQ(SuspendCount(t), 1u);
  freezer.Unfreeze();
  for (HANDLE t : parked) EXPECT_EQ(SuspendCount(t), 0u);

  freezer.Release();
  SetEvent(release);
  EXPECT_EQ(WaitForMultipleObjects(2, parked, TRUE, 30000), WAIT_OBJECT_0);
  for (HANDLE t : parked) CloseHandle(t);
  CloseHandle(release);
}

}  // namespace
}  // namespace detour
