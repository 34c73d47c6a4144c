// A test program that ends badly on request (DRIFTGLASS_PROBE_MODE), for proving that the test
// runner does not call such a run a pass. Not part of the normal test list.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string Mode() {
  const char* mode = std::getenv("DRIFTGLASS_PROBE_MODE");
  return mode == nullptr ? "" : mode;
}

DWORD WINAPI WriteThroughNull(void*) {
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}

void CrashOnExit() { WriteThroughNull(nullptr); }

TEST(RunnerProbe, EndsAsAsked) {
  const std::string mode = Mode();
  if (mode == "failed-check-then-exit-0") {
    EXPECT_EQ(1, 2) << "a failed check";
    ExitProcess(0);
  }
  if (mode == "exit-0-before-summary") ExitProcess(0);
  if (mode == "failed-check-then-thread-crash") {
    EXPECT_EQ(1, 2) << "a failed check";
    HANDLE thread = CreateThread(nullptr, 0, &WriteThroughNull, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
  }
  if (mode == "crash-after-summary") std::atexit(&CrashOnExit);
  if (mode == "failed-check") EXPECT_EQ(1, 2) << "a failed check";
  SUCCEED();
}

}  // namespace
