#include "log/diagnostic_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/limited_disk.h"
#include "support/test_files.h"

namespace driftglass {
namespace {

using test::ReadFileBytes;
using test::TempFolder;
using test::ToUtf8;

struct CapturedOutput {
  std::vector<std::wstring> lines;
};

void Capture(const wchar_t* line, void* context) {
  static_cast<CapturedOutput*>(context)->lines.emplace_back(line);
}

// Splits file content into lines without their CRLF, checking that every line has one.
std::vector<std::string> FileLines(const std::wstring& path) {
  const std::string content = ReadFileBytes(path);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line ends in CRLF";
    if (end == std::string::npos) break;
    lines.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string Body(const std::string& line) {
  const size_t levelEnd = line.find("] ", line.find("] [") + 3);
  return line.substr(levelEnd + 2);
}

TEST(DiagnosticLog, PrefixFormat) {
  SYSTEMTIME t{};
  t.wYear = 2026;
  t.wMonth = 3;
  t.wDay = 14;
  t.wHour = 9;
  t.wMinute = 5;
  t.wSecond = 7;
  t.wMilliseconds = 42;
  wchar_t prefix[64];
  EXPECT_EQ(FormatLogPrefix(t, kLogWarn, prefix, 64), 33u);
  EXPECT_STREQ(prefix, L"[2026-03-14 09:05:07.042] [WARN] ");
  FormatLogPrefix(t, 7, prefix, 64);
  EXPECT_STREQ(prefix, L"[2026-03-14 09:05:07.042] [UNKNOWN] ");
  // A small buffer truncates instead of overflowing.
  EXPECT_EQ(FormatLogPrefix(t, kLogInfo, prefix, 8), 7u);
  EXPECT_STREQ(prefix, L"[2026-0");
}

TEST(DiagnosticLog, WritesPrefixedCrlfLinesToFileAndDebugger) {
  TempFolder folder;
  const std::wstring path = folder.File(L"Driftglass.log");
  DiagnosticLog log;
  CapturedOutput debugger;
  log.SetDebugOutputSink(&Capture, &debugger);
  ASSERT_TRUE(log.Open(path.c_str()));

  const std::wstring unicode = L"Gr\u00FC\u00DFe \u2713 \u65E5\u672C \U0001F600";
  log.WriteLine(kLogInfo, unicode.c_str(), static_cast<uint32_t>(unicode.size()));
  log.WriteLine(kLogError, L"xyz", 0);  // zero length: prefix and line end only
  log.WriteLine(7, L"odd level");
  log.WriteLine(kLogDebug, L"not terminated here", 3);

  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), 4u);
  const std::regex prefix(R"(^\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] \[(\w+)\] )");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(lines[0], match, prefix));
  EXPECT_EQ(match[1], "INFO");
  EXPECT_EQ(Body(lines[0]), ToUtf8(unicode));
  EXPECT_EQ(Body(lines[1]), "");
  EXPECT_NE(lines[1].find("[ERROR] "), std::string::npos);
  EXPECT_NE(lines[2].find("[UNKNOWN] odd level"), std::string::npos);
  EXPECT_NE(lines[3].find("[DEBUG] not"), std::string::npos);
  EXPECT_EQ(Body(lines[3]), "not");

  // The debugger gets the same lines, UTF-16, with the line end, no byte-order mark in the file.
  ASSERT_EQ(debugger.lines.size(), 4u);
  EXPECT_EQ(debugger.lines[0].substr(debugger.lines[0].size() - unicode.size() - 2),
            unicode + L"\r\n");
  EXPECT_NE(ReadFileBytes(path).substr(0, 3), "\xEF\xBB\xBF");
}

TEST(DiagnosticLog, DebugLinesFollowTheSwitchOtherLevelsNeverDrop) {
  TempFolder folder;
  const std::wstring path = folder.File(L"x.log");
  DiagnosticLog log;
  CapturedOutput debugger;
  log.SetDebugOutputSink(&Capture, &debugger);
  log.Open(path.c_str());
  log.WriteLine(kLogDebug, L"before");
  log.SetDebugLinesEnabled(false);
  log.WriteLine(kLogDebug, L"dropped");
  log.WriteLine(kLogInfo, L"info");
  log.WriteLine(kLogWarn, L"warn");
  log.WriteLine(kLogError, L"error");
  log.SetDebugLinesEnabled(true);
  log.WriteLine(kLogDebug, L"after");
  std::vector<std::string> bodies;
  for (const std::string& line : FileLines(path)) bodies.push_back(Body(line));
  EXPECT_EQ(bodies, (std::vector<std::string>{"before", "info", "warn", "error", "after"}));
  EXPECT_EQ(debugger.lines.size(), 5u);
}

TEST(DiagnosticLog, AppendsAndKeepsTheFirstOpenedFile) {
  TempFolder folder;
  const std::wstring first = folder.File(L"first.log");
  const std::wstring second = folder.File(L"second.log");
  test::WriteFileBytes(first, "earlier run\r\n");
  DiagnosticLog log;
  CapturedOutput debugger;
  log.SetDebugOutputSink(&Capture, &debugger);

  EXPECT_FALSE(log.Open(folder.File(L"missing\\folder.log").c_str()));
  EXPECT_FALSE(log.HasFile());
  log.WriteLine(kLogInfo, L"only to the debugger");
  EXPECT_EQ(debugger.lines.size(), 1u);

  ASSERT_TRUE(log.Open(first.c_str()));
  EXPECT_TRUE(log.Open(second.c_str()));
  log.WriteLine(kLogInfo, L"new line");
  const std::vector<std::string> lines = FileLines(first);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "earlier run");
  EXPECT_EQ(Body(lines[1]), "new line");
  EXPECT_FALSE(test::FileExists(second));
}

TEST(DiagnosticLog, LongLinesAreWrittenWhole) {
  TempFolder folder;
  const std::wstring path = folder.File(L"long.log");
  DiagnosticLog log;
  CapturedOutput debugger;
  log.SetDebugOutputSink(&Capture, &debugger);
  log.Open(path.c_str());
  std::wstring deep(40000, L'\u00E9');
  log.WriteLine(kLogDebug, deep.c_str(), static_cast<uint32_t>(deep.size()));
  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Body(lines[0]), ToUtf8(deep));
}

// Room in bytes before each line, or a write that reports success having written nothing.
constexpr int64_t kNoLimit = test::kPlentyOfRoom;
constexpr int64_t kMovesNothing = -1;

// Lines the file refuses, whole or in part, are counted; the next line it takes is preceded by
// one notice with the count, and a cut line is finished first so that nothing is glued to it.
TEST(DiagnosticLog, LinesTheFileRefusesAreToldOnceWhenItTakesLinesAgain) {
  TempFolder folder;
  const std::wstring path = folder.File(L"full.log");
  DiagnosticLog log;
  CapturedOutput debugger;
  log.SetDebugOutputSink(&Capture, &debugger);
  log.SetWriteFunction(&test::LimitedWriteFile);
  ASSERT_TRUE(log.Open(path.c_str()));
  const auto notice = [](const char* count, const char* error, bool cut) {
    return std::string("WARN ") + count + (std::string(count) == "1" ? " log line" : " log lines") +
           " could not be written (Win32 error " + error + (cut ? "; the line above is cut short" : "") +
           "); logging resumed.";
  };
  // A prefix is 33 bytes; "[2026-03-14 09:05:07.042] [INFO] sixteen\r\n" 42.
  const struct {
    int64_t room;
    const wchar_t* text;
  } steps[] = {
      {kNoLimit, L"one"}, {0, L"two"}, {0, L"three"}, {kNoLimit, L"four"}, {kNoLimit, L"five"},
      {0, L"six"}, {kNoLimit, L"seven"},
      {10, L"eight"}, {0, L"nine"}, {kNoLimit, L"ten"},
      {10, L"eleven"}, {2 + 5, L"twelve"}, {kNoLimit, L"thirteen"},  // the notice cut too
      {kMovesNothing, L"fourteen"}, {kNoLimit, L"fifteen"},
      {41, L"sixteen"}, {kNoLimit, L"seventeen"},  // all but the line feed: its text is whole
      {0, L"lost"}, {kNoLimit, L"told"},  // so the notice says no line above was cut
      {33 + 8, L"eighteen"}, {kNoLimit, L"nineteen"},  // all but the line end
      {33 + 1, L"\u00e9t\u00e9"}, {kNoLimit, L"twenty"},  // cut inside its first character
      {33 + 4, L"\u00e9t\u00e9"}, {kNoLimit, L"twenty-one"},  // cut inside its last one: whole
  };
  for (const auto& step : steps) {
    test::gZeroWrites = step.room == kMovesNothing ? 1 : 0;
    test::gDiskRoom = step.room == kMovesNothing ? kNoLimit : step.room;
    log.WriteLine(kLogInfo, step.text);
  }
  test::gDiskRoom = kNoLimit;
  const std::vector<std::string> expected = {
      "INFO one", notice("2", "112", false), "INFO four", "INFO five",
      notice("1", "112", false), "INFO seven",
      "cut 10", notice("2", "112", true), "INFO ten",
      "cut 10", "cut 5", notice("2", "112", true), "INFO thirteen",
      notice("1", "29", false), "INFO fifteen",
      "INFO sixteen", "INFO seventeen", notice("1", "112", false), "INFO told", "INFO eighteen", "INFO nineteen",
      "INFO \xc3\xa9", notice("1", "112", true), "INFO twenty", "INFO \xc3\xa9t\xc3\xa9", "INFO twenty-one"};
  std::vector<std::string> entries;
  for (const std::string& line : FileLines(path)) {
    // A cut line here keeps only the first bytes of its time stamp.
    const size_t level = line.find("] [");
    entries.push_back(level == std::string::npos
                          ? "cut " + std::to_string(line.size())
                          : line.substr(level + 3, line.find(']', level + 3) - level - 3) + " " + Body(line));
  }
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(debugger.lines.size(), std::size(steps) + 7) << "every line and every notice";
}

struct Writer {
  DiagnosticLog* log;
  wchar_t letter;
};

DWORD WINAPI WriteHundredLines(void* parameter) {
  const Writer* writer = static_cast<Writer*>(parameter);
  const std::wstring text(300, writer->letter);
  for (int i = 0; i < 100; ++i) writer->log->WriteLine(kLogInfo, text.c_str());
  return 0;
}

TEST(DiagnosticLog, LinesFromSeveralThreadsNeverInterleave) {
  TempFolder folder;
  const std::wstring path = folder.File(L"threads.log");
  DiagnosticLog log;
  CapturedOutput debugger;
  log.SetDebugOutputSink(&Capture, &debugger);
  log.Open(path.c_str());
  Writer a{&log, L'a'};
  Writer b{&log, L'b'};
  HANDLE threads[2] = {
      CreateThread(nullptr, 0, &WriteHundredLines, &a, 0, nullptr),
      CreateThread(nullptr, 0, &WriteHundredLines, &b, 0, nullptr),
  };
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), 200u);
  for (const std::string& line : lines) {
    const std::string body = Body(line);
    EXPECT_TRUE(body == std::string(300, 'a') || body == std::string(300, 'b'));
  }
}

}  // namespace
}  // namespace driftglass
