#pragma once

#include <windows.h>

#include <cstdint>

namespace driftglass {

enum LogLevel : uint32_t {
  kLogDebug = 0,
  kLogInfo = 1,
  kLogWarn = 2,
  kLogError = 3,
};

// "DEBUG", "INFO", "WARN", "ERROR", or "UNKNOWN" for any other value.
const wchar_t* LogLevelText(uint32_t level);

// Receives every terminated line that passed the level filter; the process log sends them to the
// debugger, tests capture them.
using DebugOutputSink = void (*)(const wchar_t* line, void* context);

// The plug-in's single text log. One lock serialises every operation, so lines from the bootstrap
// thread, the host's main thread and the reporter thread never interleave. A line whose text the
// file refuses (a full disk, a write cut short) is counted; before the next line the file takes
// whole, one WARN line says how many were lost. A line the file cut is finished first (the rest of
// a character the cut split, then the line end), so nothing is glued to it and the file stays
// UTF-8; a line that lost only its line end is finished that way and not counted.
class DiagnosticLog {
 public:
  using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

  DiagnosticLog();
  DiagnosticLog(const DiagnosticLog&) = delete;
  DiagnosticLog& operator=(const DiagnosticLog&) = delete;

  // Opens (creating or appending) unless a file is open already; then the path is ignored.
  bool Open(const wchar_t* path);
  void SetDebugLinesEnabled(bool enabled);
  void WriteLine(uint32_t level, const wchar_t* text, uint32_t length);
  void WriteLine(uint32_t level, const wchar_t* terminatedText);

  // Sends text as it is to the debugger output, for messages that are not log lines.
  void SendDebugOutput(const wchar_t* text);

  // Replaces the debugger output; meant for tests.
  void SetDebugOutputSink(DebugOutputSink sink, void* context);
  // Replaces WriteFile; lets tests make the file refuse lines or take only part of one.
  void SetWriteFunction(WriteFileFunction write);
  bool HasFile() const { return file_ != INVALID_HANDLE_VALUE; }

 private:
  void WriteLocked(uint32_t level, const wchar_t* text, uint32_t length);
  void WriteToFile(const SYSTEMTIME& now, const char* bytes, uint32_t length);
  bool WriteLostLinesNotice(const SYSTEMTIME& now);
  bool FinishLastLine();
  bool WriteEndedText(const char* bytes, uint32_t length);

  SRWLOCK lock_;
  HANDLE file_;
  bool debugLinesEnabled_;
  DebugOutputSink sink_;
  void* sinkContext_;
  WriteFileFunction writeFile_;
  // Since the last notice: lines whose text the file did not take, the latest error, and whether
  // a cut line will stand above the notice. What the file's last line lacks before anything may
  // follow it: the rest of a character a cut split (at most 3 bytes) and the line end.
  uint32_t lostLines_;
  DWORD lostError_;
  char lineRest_[5];
  uint32_t lineRestLength_;
  bool lostLineCut_;
};

// Formats "[YYYY-MM-DD hh:mm:ss.mmm] [LEVEL] " into out (capacity in characters, at least 1);
// returns the characters written, truncating when the capacity is too small.
uint32_t FormatLogPrefix(const SYSTEMTIME& time, uint32_t level, wchar_t* out, uint32_t capacity);

// The process-wide log, opened once at start-up and never closed.
DiagnosticLog& ProcessLog();
bool OpenLog(const wchar_t* path);
void SetDebugLinesEnabled(bool enabled);
void WriteLogLine(uint32_t level, const wchar_t* text, uint32_t length);

}  // namespace driftglass
