// What the trace costs the process while the game runs: its memory is all taken when it opens.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <memory>

#include "diag/motion_trace.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

// The process's private bytes (under Wine: the private memory it has touched).
uint64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
  return memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
}

// A ring's worth of frames (3 MB of records) and their flushes grow the process by no more than
// a little bookkeeping: a soak then sees a flat line instead of minutes of growth.
TEST(MotionTraceMemory, FramesAfterTheTraceOpensTakeNoNewMemory) {
  test::TempFolder folder;
  auto trace = std::make_unique<MotionTrace>();
  std::wstring error;
  ASSERT_TRUE(trace->Open(folder.File(L"trace.csv").c_str(), 10000000, error));
  const uint64_t before = PrivateBytes();
  MotionTraceRecord record;
  for (uint32_t n = 0; n < MotionTrace::kSlotCount; ++n) {
    record.qpcCounter = n;
    trace->Publish(record);
  }
  EXPECT_EQ(trace->Flush().written, MotionTrace::kSlotCount);
  EXPECT_LT(PrivateBytes() - before, 256u * 1024u);
}

}  // namespace
}  // namespace driftglass
