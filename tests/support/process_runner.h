#pragma once

#include <cstdint>
#include <string>

namespace driftglass::test {

struct ProcessResult {
  bool started = false;
  bool finished = false;
  uint32_t exitCode = 0;
};

// Runs a command line and waits for it (at most timeoutMs); a process still running then is ended.
// With errorOutputPath its standard error goes to that file.
ProcessResult RunProcess(const std::wstring& commandLine, uint32_t timeoutMs,
                         const std::wstring& errorOutputPath = L"");

// Polls a file until its content contains needle or timeoutMs has passed; returns the content.
std::string WaitForFileText(const std::wstring& path, const std::string& needle, uint32_t timeoutMs);

}  // namespace driftglass::test
