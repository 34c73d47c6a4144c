#include "diag/motion_trace.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "diag/motion_trace_row.h"
#include "support/build_paths.h"
#include "support/limited_disk.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::FileExists;
using test::gDiskRoom;
using test::gZeroWrites;
using test::LimitedWriteFile;
using test::ReadFileBytes;
using test::TempFolder;
using test::WriteFileBytes;

constexpr int64_t kFrequency = 10000000;

std::string Row(const MotionTraceRecord& record, int64_t frequency = kFrequency) {
  char text[kMotionTraceRowCapacity];
  return std::string(text, FormatMotionTraceRow(record, frequency, text, sizeof(text)));
}

// A record whose every column is told apart by its value.
MotionTraceRecord NumberedRecord(uint64_t n) {
  MotionTraceRecord record;
  record.qpcCounter = static_cast<int64_t>(kFrequency + n * 16667);
  record.tickSerial = n;
  record.olderSerial = n - 1;
  record.newerSerial = n;
  record.rawAlpha = 0.001 * static_cast<double>(n % 1000);
  record.alpha = 1.0 / static_cast<double>(n + 1);
  record.auth = {1.0f * n, -2.0f, 3.25f, 0.1f, 0.2f, 0.3f};
  record.pollX = -static_cast<int32_t>(n);
  record.deferredY = static_cast<int64_t>(n) * 1000000007;
  record.pendingYaw = 0.7f;
  record.flags = static_cast<uint32_t>(n & 0x1FF);
  return record;
}

std::unique_ptr<MotionTrace> OpenTrace(const std::wstring& path) {
  auto trace = std::make_unique<MotionTrace>();
  std::wstring error;
  EXPECT_TRUE(trace->Open(path.c_str(), kFrequency, error)) << test::ToUtf8(error);
  return trace;
}

TEST(MotionTraceRow, FormatsEveryColumnExactly) {
  MotionTraceRecord record;
  record.qpcCounter = 10000000;
  record.tickSerial = 18446744073709551615ull;
  record.olderSerial = 41;
  record.newerSerial = 42;
  record.rawAlpha = 0.75;
  record.phaseDelayTicks = 0.275;
  record.alpha = 0.475;
  record.auth = {1.5f, -2.25f, 100.0f, 0.1f, 3.14159274f, 0.0f};
  record.base = {1e-7f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  record.final = {123456.789f, -0.0f, 16777216.0f, 0.0f, 0.0f, 0.0f};
  record.pollX = -3;
  record.pollY = 2147483647;
  record.deferredX = INT64_MIN;
  record.deferredY = 5;
  record.pendingX = 1;
  record.pendingY = -1;
  record.historyPitch = 0.5f;
  record.historyYaw = -1.0f;
  record.pendingPitch = 2.5e10f;
  record.pendingYaw = 0.0f;
  record.flags = 0x1FF;
  EXPECT_EQ(Row(record),
            "1.000000000,18446744073709551615,41,42,0.750000000,0.275000000,0.475000000,511,"
            "1.5,-2.25,100,0.100000001,3.14159274,0,"
            "1.00000001e-07,0,0,0,0,0,"
            "123456.789,-0,16777216,0,0,0,"
            "-3,2147483647,-9223372036854775808,5,1,-1,"
            "0.5,-1,2.49999995e+10,0\r\n");

  // A frame without camera interpolation: only the poll and the fraction flags.
  MotionTraceRecord idle;
  idle.qpcCounter = 15;
  idle.flags = kMotionPollValid | kMotionAlphaValid;
  EXPECT_EQ(Row(idle, 10),
            "1.500000000,0,0,0,0.000000000,0.000000000,0.000000000,257,"
            "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n");
}

// A player reads the columns from the docs: their table lists the header's columns, in its order.
TEST(MotionTraceRow, TheDocsListEveryColumnInOrder) {
  const std::string docs = test::ReadFileBytes(std::wstring(DRIFTGLASS_SOURCE_DIR) + L"\\docs\\configuration.md");
  const size_t table = docs.find("| Column | What it holds |");
  ASSERT_NE(table, std::string::npos);
  std::string documented;
  for (size_t at = docs.find("\n| `", table); at != std::string::npos && docs.compare(at, 4, "\n| `") == 0;
       at = docs.find('\n', at + 1)) {
    if (!documented.empty()) documented += ',';
    documented.append(docs, at + 4, docs.find('`', at + 4) - at - 4);
  }
  EXPECT_EQ(documented + "\r\n", kMotionTraceHeader);
}

TEST(MotionTraceRow, UsesAPeriodInAnyLocaleAndFitsTheWidestRecord) {
  ASSERT_NE(std::setlocale(LC_ALL, "German"), nullptr);
  MotionTraceRecord record;
  record.qpcCounter = 25;
  record.alpha = 0.5;
  record.auth.x = 1.25f;
  const std::string row = Row(record, 10);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(row.rfind("2.500000000,0,0,0,0.000000000,0.000000000,0.500000000,0,1.25,0,", 0), 0u)
      << row;

  MotionTraceRecord widest;
  widest.qpcCounter = INT64_MAX;
  widest.tickSerial = widest.olderSerial = widest.newerSerial = UINT64_MAX;
  widest.rawAlpha = widest.phaseDelayTicks = widest.alpha = -DBL_MAX;
  for (CameraPose* pose : {&widest.auth, &widest.base, &widest.final}) {
    *pose = {-FLT_MIN, -FLT_MAX, -1.17549421e-38f, -FLT_MAX, -FLT_MAX, -FLT_MAX};
  }
  widest.pollX = widest.pollY = INT32_MIN;
  widest.deferredX = widest.deferredY = widest.pendingX = widest.pendingY = INT64_MIN;
  widest.historyPitch = widest.historyYaw = widest.pendingPitch = widest.pendingYaw = -FLT_MIN;
  widest.flags = UINT32_MAX;
  const std::string wide = Row(widest, 1);
  ASSERT_GT(wide.size(), 1400u) << "every column at its widest";
  EXPECT_EQ(wide.substr(0, 30), "9223372036854775808.000000000,");
  EXPECT_EQ(wide.substr(wide.size() - 18), ",-1.17549435e-38\r\n");
}

TEST(MotionTrace, OpenReplacesTheFileWithAFreshHeader) {
  TempFolder folder;
  const std::wstring path = folder.File(L"Driftglass.motion.csv");
  WriteFileBytes(path, std::string(5000, 'x'));
  auto trace = OpenTrace(path);
  const std::string header = ReadFileBytes(path);
  EXPECT_EQ(header.size(), 358u);
  EXPECT_EQ(header,
            "qpc_seconds,tick_serial,older_serial,newer_serial,raw_alpha,phase_delay_ticks,alpha,"
            "flags,auth_x,auth_y,auth_z,auth_pitch,auth_yaw,auth_roll,base_x,base_y,base_z,"
            "base_pitch,base_yaw,base_roll,final_x,final_y,final_z,final_pitch,final_yaw,"
            "final_roll,poll_x,poll_y,deferred_x,deferred_y,pending_x,pending_y,history_pitch,"
            "history_yaw,pending_pitch,pending_yaw\r\n");
}

TEST(MotionTrace, OpenFailuresLeaveTheTraceClosed) {
  TempFolder folder;
  const std::wstring path = folder.File(L"Driftglass.motion.csv");
  auto trace = std::make_unique<MotionTrace>();
  std::wstring error;
  EXPECT_FALSE(trace->Open(path.c_str(), 0, error));
  EXPECT_EQ(error, L"Motion trace received an invalid QPC frequency.");
  EXPECT_FALSE(FileExists(path));

  const std::wstring missing = folder.File(L"no-such-folder\\x.motion.csv");
  EXPECT_FALSE(trace->Open(missing.c_str(), kFrequency, error));
  EXPECT_EQ(error, L"Could not create motion trace: " + missing + L" (Win32 error 3)");
  EXPECT_FALSE(trace->IsOpen());

  // Closed: publishing and flushing do nothing.
  trace->Publish(NumberedRecord(1));
  const MotionTraceTotals totals = trace->Flush();
  EXPECT_EQ(totals.written, 0u);
  EXPECT_EQ(totals.dropped, 0u);
}

TEST(MotionTrace, FullRingDropsTheNewestFrames) {
  TempFolder folder;
  const std::wstring path = folder.File(L"Driftglass.motion.csv");
  auto trace = OpenTrace(path);
  std::string expected = kMotionTraceHeader;
  for (uint64_t n = 1; n <= 20000; ++n) {
    trace->Publish(NumberedRecord(n));
    if (n <= MotionTrace::kSlotCount) expected += Row(NumberedRecord(n));
  }
  MotionTraceTotals totals = trace->Flush();
  EXPECT_EQ(totals.written, 16384u);
  EXPECT_EQ(totals.dropped, 3616u);
  EXPECT_EQ(ReadFileBytes(path), expected);  // several batches, in order

  // The ring is free again; totals keep counting since start.
  trace->Publish(NumberedRecord(20001));
  totals = trace->Flush();
  EXPECT_EQ(totals.written, 16385u);
  EXPECT_EQ(totals.dropped, 3616u);
  EXPECT_EQ(ReadFileBytes(path), expected + Row(NumberedRecord(20001)));
}

TEST(MotionTrace, FailedWritesNeitherLoseNorRepeatRows) {
  TempFolder folder;
  const std::wstring path = folder.File(L"Driftglass.motion.csv");
  auto trace = OpenTrace(path);
  trace->SetWriteFunction(&LimitedWriteFile);

  // Enough rows for more than one batch buffer.
  std::string rows;
  uint64_t n = 1;
  for (; rows.size() < MotionTrace::kBatchBytes + 50000; ++n) {
    trace->Publish(NumberedRecord(n));
    rows += Row(NumberedRecord(n));
  }
  const uint64_t published = n - 1;

  // The disk fills in the middle of a row of the second batch.
  const size_t cut = MotionTrace::kBatchBytes + 1234;
  gDiskRoom = static_cast<int64_t>(cut);
  MotionTraceTotals totals = trace->Flush();
  const std::string header = kMotionTraceHeader;
  EXPECT_EQ(ReadFileBytes(path), header + rows.substr(0, cut));
  const uint64_t wholeRows = std::count(rows.begin(), rows.begin() + cut, '\n');
  ASSERT_NE(rows[cut - 1], '\n');
  EXPECT_EQ(totals.written, wholeRows) << "the cut row is not counted";

  // Still full; then a write that reports 0 bytes; neither may change anything.
  EXPECT_EQ(trace->Flush().written, wholeRows);
  gZeroWrites = 1;
  gDiskRoom = test::kPlentyOfRoom;
  EXPECT_EQ(trace->Flush().written, wholeRows);
  EXPECT_EQ(ReadFileBytes(path), header + rows.substr(0, cut));

  // Room again: the rest arrives once, starting with the remainder of the cut row.
  totals = trace->Flush();
  EXPECT_EQ(totals.written, published);
  EXPECT_EQ(totals.dropped, 0u);
  EXPECT_EQ(ReadFileBytes(path), header + rows);
  EXPECT_EQ(trace->Flush().written, published);
  EXPECT_EQ(ReadFileBytes(path), header + rows);
}

// The render thread publishes while the reporter flushes: every frame is either in the file,
// once and in order, or counted as dropped.
TEST(MotionTrace, ConcurrentPublishAndFlushKeepEveryFrameAccountedFor) {
  TempFolder folder;
  const std::wstring path = folder.File(L"Driftglass.motion.csv");
  auto trace = OpenTrace(path);
  constexpr uint64_t kFrames = 60000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (uint64_t n = 1; n <= kFrames; ++n) trace->Publish(NumberedRecord(n));
    done = true;
  });
  while (!done) trace->Flush();
  producer.join();
  const MotionTraceTotals totals = trace->Flush();
  EXPECT_EQ(totals.written + totals.dropped, kFrames);

  const std::string content = ReadFileBytes(path);
  size_t start = strlen(kMotionTraceHeader);
  uint64_t rows = 0;
  uint64_t previous = 0;
  while (start < content.size()) {
    const size_t end = content.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string row = content.substr(start, end + 2 - start);
    const uint64_t serial = strtoull(row.c_str() + row.find(',') + 1, nullptr, 10);
    ASSERT_GT(serial, previous);
    ASSERT_EQ(row, Row(NumberedRecord(serial)));
    previous = serial;
    ++rows;
    start = end + 2;
  }
  EXPECT_EQ(rows, totals.written);
}

}  // namespace
}  // namespace driftglass
