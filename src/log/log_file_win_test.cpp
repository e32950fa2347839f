// The setup log's file on Windows: replaced at the start, readable while the installer
// runs, and no file where the path cannot hold one.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "log/setup_log.h"

namespace ostrane::log {
namespace {

// The file's bytes, read as a support person's editor would while the log is open.
std::string ReadShared(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  ::CloseHandle(file);
  return bytes;
}

void WriteWhole(const std::wstring& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    // Letters outside any ANSI code page: the path reaches the system as UTF-16.
    folder_ = std::wstring(temp) + L"ostrane log \u00e9\u65e5\u672c " + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
  }
  void TearDown() override {
    ::DeleteFileW(Path(L"setup \u00e9\u65e5.log").c_str());
    EXPECT_TRUE(::RemoveDirectoryW(folder_.c_str())) << "error " << ::GetLastError();
  }
  std::wstring Path(const std::wstring& name) const { return folder_ + L"\\" + name; }

  std::wstring folder_;
};

TEST_F(LogFileTest, AnEarlierFileIsReplacedAndEachLineIsThereWhileTheLogRuns) {
  const std::wstring path = Path(L"setup \u00e9\u65e5.log");
  WriteWhole(path, "an earlier run's log, longer than this one's\r\n");
  SetupLog log;
  log.Attach(CreateLogFile(path));
  log.Write("step", "one");
  const std::string first = ReadShared(path);
  EXPECT_EQ(first.find("earlier"), std::string::npos) << first;
  EXPECT_NE(first.find("step: one\r\n"), std::string::npos) << first;
  log.Write("step", "two \xE6\x97\xA5");
  const std::string second = ReadShared(path);
  EXPECT_EQ(second.substr(0, first.size()), first);
  EXPECT_NE(second.find("step: two \xE6\x97\xA5\r\n"), std::string::npos) << "UTF-8 as given: " << second;
}

TEST_F(LogFileTest, APathThatCannotHoldAFileGivesNone) {
  const std::wstring cases[] = {folder_, Path(L"missing folder\\setup.log"), Path(L"bad|name.log")};
  for (const auto& path : cases) {
    EXPECT_EQ(CreateLogFile(path), nullptr) << std::string(path.begin(), path.end());
  }
}

}  // namespace
}  // namespace ostrane::log
