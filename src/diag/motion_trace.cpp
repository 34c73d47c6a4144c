#include "diag/motion_trace.h"

#include <cstring>
#include <new>

#include "diag/motion_trace_row.h"

namespace driftglass {
MotionTrace::MotionTrace() = default;

MotionTrace::~MotionTrace() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool MotionTrace::Open(const wchar_t* path, int64_t frequency, std::wstring& errorText) {
  if (frequency <= 0) {
    errorText = L"Motion trace received an invalid QPC frequency.";
    return false;
  }
  if (file_ != INVALID_HANDLE_VALUE) {
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileW(path, GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errorText = std::wstring(L"Could not create motion trace: ") + path + L" (Win32 error " +
                std::to_wstring(error) + L")";
    return false;
  }
  file_ = file;
  frequency_ = frequency;
  writeIndex_.store(0);
  readIndex_.store(0);
  dropped_.store(0);
  written_ = 0;
  headRowBytesWritten_ = 0;
  // Take the ring's and the batch's memory now: the render thread then never meets a fresh page,
  // and the process does not grow page by page through its first minutes of frames.
  memset(slots_, 0, sizeof(slots_));
  memset(batch_, 0, sizeof(batch_));
  if (!WriteAll(kMotionTraceHeader, static_cast<uint32_t>(strlen(kMotionTraceHeader)))) {
    const DWORD error = GetLastError();
    errorText = L"Could not write the motion-trace header (Win32 error " + std::to_wstring(error) +
                L")";
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return false;
  }
  FlushFileBuffers(file_);
  return true;
}

void MotionTrace::Publish(const MotionTraceRecord& record) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  const uint64_t w = writeIndex_.load(std::memory_order_relaxed);
  const uint64_t r = readIndex_.load(std::memory_order_acquire);
  if (w - r < kSlotCount) {
    memcpy(slots_[w % kSlotCount].bytes, &record, sizeof(record));
    writeIndex_.store(w + 1, std::memory_order_release);
  } else {
    dropped_.fetch_add(1);  // the newest frame goes; queued ones keep their order
  }
}

MotionTraceTotals MotionTrace::Flush() {
  if (file_ != INVALID_HANDLE_VALUE) {
    const uint64_t end = writeIndex_.load(std::memory_order_acquire);
    bool wroteBytes = false;
    while (readIndex_.load(std::memory_order_relaxed) != end) {
      if (!FlushBatch(end, wroteBytes)) break;
    }
    if (wroteBytes) FlushFileBuffers(file_);
  }
  return {written_, dropped_.load()};
}

bool MotionTrace::FlushBatch(uint64_t end, bool& wroteBytes) {
  const uint64_t first = readIndex_.load(std::memory_order_relaxed);
  uint32_t used = 0;
  uint32_t rows = 0;
  for (uint64_t index = first; index != end && rows < kMaxBatchRows &&
                               kBatchBytes - used >= kMotionTraceRowCapacity;
       ++index) {
    MotionTraceRecord record;
    memcpy(&record, slots_[index % kSlotCount].bytes, sizeof(record));
    char* row = batch_ + used;
    uint32_t length = FormatMotionTraceRow(record, frequency_, row, kMotionTraceRowCapacity);
    const bool kept = length > 0;
    if (rows == 0 && headRowBytesWritten_ > 0) {
      // The same record formats to the same text, so its start is already in the file.
      const uint32_t skip = headRowBytesWritten_ < length ? headRowBytesWritten_ : length;
      memmove(row, row + skip, length - skip);
      length -= skip;
    }
    used += length;
    batchRowEnds_[rows] = used;
    batchRowKept_[rows] = kept;
    ++rows;
  }

  uint32_t done = 0;
  const bool complete = WriteAll(batch_, used, &done);
  if (done > 0) wroteBytes = true;

  // Free every row that is wholly in the file, so no retry writes it twice.
  uint32_t finished = 0;
  while (finished < rows && batchRowEnds_[finished] <= done) {
    if (batchRowKept_[finished]) {
      ++written_;
    } else {
      dropped_.fetch_add(1);
    }
    ++finished;
  }
  if (finished < rows) {
    const uint32_t rowStart = finished == 0 ? 0 : batchRowEnds_[finished - 1];
    headRowBytesWritten_ = (finished == 0 ? headRowBytesWritten_ : 0) + (done - rowStart);
  } else {
    headRowBytesWritten_ = 0;
  }
  readIndex_.store(first + finished, std::memory_order_release);
  return complete;
}

bool MotionTrace::WriteAll(const char* bytes, uint32_t length, uint32_t* done) {
  uint32_t total = 0;
  bool ok = true;
  while (total < length) {
    DWORD n = 0;
    if (!writeFile_(file_, bytes + total, length - total, &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) {
      SetLastError(ERROR_WRITE_FAULT);  // a write that moved nothing sets no error of its own
      ok = false;
      break;
    }
    total += n < length - total ? n : length - total;
  }
  if (done != nullptr) *done = total;
  return ok;
}

MotionTraceTotals MotionTrace::Close() {
  MotionTraceTotals totals;
  if (file_ == INVALID_HANDLE_VALUE) return totals;
  totals = Flush();
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  return totals;
}

MotionTrace& ProcessMotionTrace() {
  // Constructed in place and never destroyed: the reporter may still flush while the process
  // exits, and the file is left for the OS to close.
  alignas(MotionTrace) static unsigned char storage[sizeof(MotionTrace)];
  static MotionTrace* const trace = new (storage) MotionTrace();
  return *trace;
}

bool OpenMotionTrace(const wchar_t* path, int64_t frequency, std::wstring& errorText) {
  return ProcessMotionTrace().Open(path, frequency, errorText);
}

void PublishMotionRecord(const MotionTraceRecord& record) { ProcessMotionTrace().Publish(record); }

MotionTraceTotals FlushMotionTrace() { return ProcessMotionTrace().Flush(); }

}  // namespace driftglass
