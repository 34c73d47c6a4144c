#pragma once

#include <string>
#include <vector>

namespace driftglass::test {

// The lines of a log file as "LEVEL text", the time stamp dropped (UTF-8 kept as it is).
std::vector<std::string> LogEntries(const std::string& fileContent);
std::vector<std::string> LogEntriesOfFile(const std::wstring& path);

}  // namespace driftglass::test
