// What the demo installers and the product wrote while a test ran: one
// "<program>: <command line>" line per program started.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace ostrane::e2e {

class DemoLog {
 public:
  DemoLog() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"ostrane-demo-log-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ::DeleteFileW(path_.c_str());
    ::SetEnvironmentVariableW(L"OSTRANE_DEMO_LOG", path_.c_str());
  }
  ~DemoLog() {
    ::SetEnvironmentVariableW(L"OSTRANE_DEMO_LOG", nullptr);
    ::DeleteFileW(path_.c_str());
  }
  DemoLog(const DemoLog&) = delete;
  DemoLog& operator=(const DemoLog&) = delete;

  // Forgets what was written so far, for the next case of a test.
  void Clear() const { ::DeleteFileW(path_.c_str()); }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path_.c_str(), std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The line of the program whose name starts so, or empty.
  std::string LineOf(const std::string& program) const {
    for (const auto& line : Lines())
      if (line.rfind(program, 0) == 0) return line;
    return {};
  }
  // The same, once it is there: programs the wizard starts without waiting for them
  // may write their line after the wizard has moved on.
  std::string WaitForLineOf(const std::string& program, DWORD patienceMs = 20000) const {
    const DWORD start = ::GetTickCount();
    std::string line;
    while ((line = LineOf(program)).empty() && ::GetTickCount() - start < patienceMs) ::Sleep(50);
    return line;
  }

 private:
  std::wstring path_;
};

}  // namespace ostrane::e2e
