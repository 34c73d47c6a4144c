#include "support/process_runner.h"

#include <windows.h>

#include <vector>

#include "support/test_files.h"

namespace driftglass::test {

ProcessResult RunProcess(const std::wstring& commandLine, uint32_t timeoutMs,
                         const std::wstring& errorOutputPath) {
  ProcessResult result;
  std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  HANDLE errors = INVALID_HANDLE_VALUE;
  if (!errorOutputPath.empty()) {
    SECURITY_ATTRIBUTES inherited{sizeof(inherited), nullptr, TRUE};
    errors = CreateFileW(errorOutputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = errors;
  }
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, errors != INVALID_HANDLE_VALUE,
                                      0, nullptr, nullptr, &startup, &process);
  if (errors != INVALID_HANDLE_VALUE) CloseHandle(errors);
  if (!started) return result;
  result.started = true;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.finished = true;
    result.exitCode = code;
  } else {
    TerminateProcess(process.hProcess, 255);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

std::string WaitForFileText(const std::wstring& path, const std::string& needle,
                            uint32_t timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::string content;
  do {
    content = ReadFileBytes(path);
    if (content.find(needle) != std::string::npos) break;
    Sleep(20);
  } while (GetTickCount64() < deadline);
  return content;
}

}  // namespace driftglass::test
