#include "support/log_lines.h"

#include "support/test_files.h"

namespace driftglass::test {

std::vector<std::string> LogEntries(const std::string& content) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find("\r\n", start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    // "[2026-03-14 09:05:07.042] [WARN] text" -> "WARN text"
    const size_t level = line.find("] [");
    const size_t levelEnd = level == std::string::npos ? level : line.find("] ", level + 3);
    if (levelEnd == std::string::npos) {
      entries.push_back(line);
    } else {
      entries.push_back(line.substr(level + 3, levelEnd - level - 3) + " " +
                        line.substr(levelEnd + 2));
    }
    start = end + 2;
  }
  return entries;
}

std::vector<std::string> LogEntriesOfFile(const std::wstring& path) {
  return LogEntries(ReadFileBytes(path));
}

}  // namespace driftglass::test
