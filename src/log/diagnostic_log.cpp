#include "log/diagnostic_log.h"

#include <cstdlib>
#include <cstring>

namespace driftglass {
namespace {

constexpr uint32_t kPrefixCapacity = 64;
// Lines up to this many characters are assembled on the stack; longer ones (deep paths) on the heap.
constexpr uint32_t kStackLineCapacity = 1024;
constexpr uint32_t kStackUtf8Capacity = 3 * kStackLineCapacity;
constexpr uint32_t kNoticeCapacity = 192;
constexpr uint32_t kLineEndLength = 2;  // CR LF ends everything the log writes

bool IsContinuationByte(char byte) { return (static_cast<uint8_t>(byte) & 0xC0) == 0x80; }

void SendToDebugger(const wchar_t* line, void*) { OutputDebugStringW(line); }

uint32_t AppendText(wchar_t* out, uint32_t used, uint32_t capacity, const wchar_t* text) {
  while (*text != L'\0' && used + 1 < capacity) out[used++] = *text++;
  return used;
}

uint32_t AppendDigits(wchar_t* out, uint32_t used, uint32_t capacity, uint32_t value,
                      uint32_t width) {
  wchar_t digits[10];
  uint32_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0 && count < 10);
  while (count < width && count < 10) digits[count++] = L'0';
  while (count > 0 && used + 1 < capacity) out[used++] = digits[--count];
  return used;
}

}  // namespace

const wchar_t* LogLevelText(uint32_t level) {
  switch (level) {
    case kLogDebug: return L"DEBUG";
    case kLogInfo: return L"INFO";
    case kLogWarn: return L"WARN";
    case kLogError: return L"ERROR";
    default: return L"UNKNOWN";
  }
}

uint32_t FormatLogPrefix(const SYSTEMTIME& time, uint32_t level, wchar_t* out, uint32_t capacity) {
  uint32_t n = 0;
  n = AppendText(out, n, capacity, L"[");
  n = AppendDigits(out, n, capacity, time.wYear, 4);
  n = AppendText(out, n, capacity, L"-");
  n = AppendDigits(out, n, capacity, time.wMonth, 2);
  n = AppendText(out, n, capacity, L"-");
  n = AppendDigits(out, n, capacity, time.wDay, 2);
  n = AppendText(out, n, capacity, L" ");
  n = AppendDigits(out, n, capacity, time.wHour, 2);
  n = AppendText(out, n, capacity, L":");
  n = AppendDigits(out, n, capacity, time.wMinute, 2);
  n = AppendText(out, n, capacity, L":");
  n = AppendDigits(out, n, capacity, time.wSecond, 2);
  n = AppendText(out, n, capacity, L".");
  n = AppendDigits(out, n, capacity, time.wMilliseconds, 3);
  n = AppendText(out, n, capacity, L"] [");
  n = AppendText(out, n, capacity, LogLevelText(level));
  n = AppendText(out, n, capacity, L"] ");
  out[n] = L'\0';
  return n;
}

DiagnosticLog::DiagnosticLog()
    : lock_(SRWLOCK_INIT),
      file_(INVALID_HANDLE_VALUE),
      debugLinesEnabled_(true),
      sink_(&SendToDebugger),
      sinkContext_(nullptr),
      writeFile_(&::WriteFile),
      lostLines_(0),
      lostError_(0),
      lineRest_{},
      lineRestLength_(0),
      lostLineCut_(false) {}

bool DiagnosticLog::Open(const wchar_t* path) {
  AcquireSRWLockExclusive(&lock_);
  if (file_ != INVALID_HANDLE_VALUE) {
    ReleaseSRWLockExclusive(&lock_);
    return true;
  }
  file_ = CreateFileW(path, FILE_APPEND_DATA,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool opened = file_ != INVALID_HANDLE_VALUE;
  ReleaseSRWLockExclusive(&lock_);
  return opened;
}

void DiagnosticLog::SetDebugLinesEnabled(bool enabled) {
  AcquireSRWLockExclusive(&lock_);
  debugLinesEnabled_ = enabled;
  ReleaseSRWLockExclusive(&lock_);
}

void DiagnosticLog::SetDebugOutputSink(DebugOutputSink sink, void* context) {
  AcquireSRWLockExclusive(&lock_);
  sink_ = sink != nullptr ? sink : &SendToDebugger;
  sinkContext_ = context;
  ReleaseSRWLockExclusive(&lock_);
}

void DiagnosticLog::SetWriteFunction(WriteFileFunction write) {
  AcquireSRWLockExclusive(&lock_);
  writeFile_ = write != nullptr ? write : &::WriteFile;
  ReleaseSRWLockExclusive(&lock_);
}

void DiagnosticLog::SendDebugOutput(const wchar_t* text) {
  AcquireSRWLockExclusive(&lock_);
  sink_(text, sinkContext_);
  ReleaseSRWLockExclusive(&lock_);
}

void DiagnosticLog::WriteLine(uint32_t level, const wchar_t* terminatedText) {
  WriteLine(level, terminatedText, static_cast<uint32_t>(wcslen(terminatedText)));
}

void DiagnosticLog::WriteLine(uint32_t level, const wchar_t* text, uint32_t length) {
  AcquireSRWLockExclusive(&lock_);
  if (level != kLogDebug || debugLinesEnabled_) WriteLocked(level, text, length);
  ReleaseSRWLockExclusive(&lock_);
}

void DiagnosticLog::WriteLocked(uint32_t level, const wchar_t* text, uint32_t length) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t prefix[kPrefixCapacity] = {};
  const uint32_t prefixLength = FormatLogPrefix(now, level, prefix, kPrefixCapacity);

  const uint64_t wanted = uint64_t{prefixLength} + length + 3;  // CR, LF, terminator
  wchar_t stackLine[kStackLineCapacity];
  wchar_t* line = stackLine;
  uint32_t lineCapacity = kStackLineCapacity;
  if (wanted > kStackLineCapacity && wanted < 0x10000000u) {
    auto* heapLine = static_cast<wchar_t*>(malloc(static_cast<size_t>(wanted) * sizeof(wchar_t)));
    if (heapLine != nullptr) {
      line = heapLine;
      lineCapacity = static_cast<uint32_t>(wanted);
    }
  }
  // If the heap refused, the text is cut to what the stack buffer holds rather than lost.
  const uint32_t textRoom = lineCapacity - prefixLength - 3;
  const uint32_t textLength = length < textRoom ? length : textRoom;
  memcpy(line, prefix, prefixLength * sizeof(wchar_t));
  if (textLength > 0) memcpy(line + prefixLength, text, textLength * sizeof(wchar_t));
  uint32_t lineLength = prefixLength + textLength;
  line[lineLength++] = L'\r';
  line[lineLength++] = L'\n';
  line[lineLength] = L'\0';

  sink_(line, sinkContext_);

  if (file_ != INVALID_HANDLE_VALUE) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(lineLength), nullptr,
                                          0, nullptr, nullptr);
    if (bytes > 0) {
      char stackUtf8[kStackUtf8Capacity];
      char* utf8 = bytes <= static_cast<int>(kStackUtf8Capacity)
                       ? stackUtf8
                       : static_cast<char*>(malloc(static_cast<size_t>(bytes)));
      if (utf8 != nullptr) {
        const int converted = WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(lineLength),
                                                  utf8, bytes, nullptr, nullptr);
        if (converted > 0) WriteToFile(now, utf8, static_cast<uint32_t>(converted));
        if (utf8 != stackUtf8) free(utf8);
      }
    }
  }
  if (line != stackLine) free(line);
}

void DiagnosticLog::WriteToFile(const SYSTEMTIME& now, const char* bytes, uint32_t length) {
  // A line the file cut short is finished first, and the loss is told before the next line.
  const bool ready = FinishLastLine() && (lostLines_ == 0 || WriteLostLinesNotice(now)) && FinishLastLine();
  if (!ready || !WriteEndedText(bytes, length)) {
    if (lostLines_ != UINT32_MAX) ++lostLines_;
  }
  FlushFileBuffers(file_);
}

bool DiagnosticLog::FinishLastLine() {
  if (lineRestLength_ == 0) return true;
  char rest[sizeof(lineRest_)];
  memcpy(rest, lineRest_, lineRestLength_);
  WriteEndedText(rest, lineRestLength_);
  return lineRestLength_ == 0;
}

bool DiagnosticLog::WriteLostLinesNotice(const SYSTEMTIME& now) {
  wchar_t text[kNoticeCapacity];
  uint32_t n = FormatLogPrefix(now, kLogWarn, text, kNoticeCapacity);
  n = AppendDigits(text, n, kNoticeCapacity, lostLines_, 1);
  n = AppendText(text, n, kNoticeCapacity,
                 lostLines_ == 1 ? L" log line could not be written (Win32 error "
                                 : L" log lines could not be written (Win32 error ");
  n = AppendDigits(text, n, kNoticeCapacity, lostError_, 1);
  n = AppendText(text, n, kNoticeCapacity,
                 lostLineCut_ ? L"; the line above is cut short); logging resumed.\r\n"
                              : L"); logging resumed.\r\n");
  text[n] = L'\0';
  char bytes[kNoticeCapacity];
  for (uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(text[i]);  // ASCII only
  if (!WriteEndedText(bytes, n)) return false;
  sink_(text, sinkContext_);
  lostLines_ = 0;
  lostLineCut_ = false;
  return true;
}

// bytes end with the line end. True when their text is in the file once the line is finished:
// all of it, or all but the rest of its last character, which is then due with the line end.
bool DiagnosticLog::WriteEndedText(const char* bytes, uint32_t length) {
  uint32_t done = 0;
  while (done < length) {
    DWORD n = 0;
    if (!writeFile_(file_, bytes + done, length - done, &n, nullptr)) {
      lostError_ = GetLastError();
      break;
    }
    if (n == 0) {
      lostError_ = ERROR_WRITE_FAULT;  // a write that moved nothing sets no error of its own
      break;
    }
    done += n < length - done ? n : length - done;
  }
  // A rest left from a cut line may be no more than the line feed: no text in it at all.
  const uint32_t textEnd = length > kLineEndLength ? length - kLineEndLength : 0;
  // The continuation bytes after the cut belong to a character already begun in the file: they go
  // before the line end, so the file never holds part of a character.
  uint32_t characterEnd = done;
  while (characterEnd < textEnd && IsContinuationByte(bytes[characterEnd])) ++characterEnd;
  const bool textWhole = characterEnd >= textEnd;
  if (done == 0) return textWhole;  // the file ends as it did
  lineRestLength_ = 0;
  for (uint32_t i = done; i < characterEnd; ++i) lineRest_[lineRestLength_++] = bytes[i];
  for (uint32_t i = characterEnd > textEnd ? characterEnd : textEnd; i < length; ++i) {
    lineRest_[lineRestLength_++] = bytes[i];
  }
  if (!textWhole) lostLineCut_ = true;
  return textWhole;
}

DiagnosticLog& ProcessLog() {
  static DiagnosticLog log;
  return log;
}

bool OpenLog(const wchar_t* path) { return ProcessLog().Open(path); }
void SetDebugLinesEnabled(bool enabled) { ProcessLog().SetDebugLinesEnabled(enabled); }
void WriteLogLine(uint32_t level, const wchar_t* text, uint32_t length) {
  ProcessLog().WriteLine(level, text, length);
}

}  // namespace driftglass
