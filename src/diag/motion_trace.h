#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "diag/motion_trace_record.h"

namespace driftglass {

struct MotionTraceTotals {
  uint64_t written = 0;  // rows in the file since start
  uint64_t dropped = 0;  // frames lost: the ring was full (or a row could not be formatted)
};

// Per-frame camera motion as CSV. The render thread only copies a fixed-size record into a
// lock-free ring (one producer); the reporter thread (one consumer) formats and writes batches.
class MotionTrace {
 public:
  static constexpr uint32_t kSlotCount = 16384;
  // Rows are formatted into a buffer of this size and written whenever it is full.
  static constexpr uint32_t kBatchBytes = 256 * 1024;

  using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

  MotionTrace();
  ~MotionTrace();
  MotionTrace(const MotionTrace&) = delete;
  MotionTrace& operator=(const MotionTrace&) = delete;

  // Creates (or truncates) the file and writes the header, starting from an empty queue and zero
  // totals. Called while no producer and no consumer runs; on failure the trace stays closed and
  // errorText says why.
  bool Open(const wchar_t* path, int64_t frequency, std::wstring& errorText);
  bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
  // Writes every queued row and closes the file; the producer must have stopped. Returns the
  // totals of that last flush.
  MotionTraceTotals Close();

  // Render thread: queues the record, or counts it dropped when the ring is full.
  void Publish(const MotionTraceRecord& record);

  // Reporter thread: writes every queued row. After a failed write the rows (and the part of a
  // row) that reached the file are not written again; the rest is retried at the next flush.
  MotionTraceTotals Flush();

  // Writes until all length bytes are out; done (optional) receives how many were.
  bool WriteAll(const char* bytes, uint32_t length, uint32_t* done = nullptr);

  // Replaces WriteFile; lets tests make a write fail part-way, as on a full disk.
  void SetWriteFunction(WriteFileFunction write) { writeFile_ = write; }

 private:
  // Raw storage: the process instance is large and costs no memory until the trace opens.
  struct Slot {
    alignas(MotionTraceRecord) unsigned char bytes[sizeof(MotionTraceRecord)];
  };

  // Every row is longer than 64 bytes, so this many always fill the batch buffer.
  static constexpr uint32_t kMaxBatchRows = kBatchBytes / 64;

  bool FlushBatch(uint64_t end, bool& wroteBytes);

  HANDLE file_ = INVALID_HANDLE_VALUE;
  int64_t frequency_ = 0;
  WriteFileFunction writeFile_ = &::WriteFile;
  std::atomic<uint64_t> writeIndex_{0};
  std::atomic<uint64_t> readIndex_{0};
  std::atomic<uint64_t> dropped_{0};
  // Consumer only: rows written, and how much of the row at readIndex_ already reached the file.
  uint64_t written_ = 0;
  uint32_t headRowBytesWritten_ = 0;
  Slot slots_[kSlotCount];
  char batch_[kBatchBytes];
  uint32_t batchRowEnds_[kMaxBatchRows];
  bool batchRowKept_[kMaxBatchRows];
};

// The process-wide trace: opened by the installer, or while the game runs when the INI turns it
// on; closed when the INI turns it off, else left for the OS to close at exit.
MotionTrace& ProcessMotionTrace();
bool OpenMotionTrace(const wchar_t* path, int64_t frequency, std::wstring& errorText);
void PublishMotionRecord(const MotionTraceRecord& record);
MotionTraceTotals FlushMotionTrace();

}  // namespace driftglass
