// gtest entry for the Windows test programs that run under Wine. The setup log lines
// that a failing test's code wrote are printed after it: a request that failed says
// there which call failed and why.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "log/setup_log.h"
#include "testing/setup_log_lines.h"

namespace {

// The lines of the running test.
class TestLines : public ostrane::log::LogSink {
 public:
  bool Append(std::string_view bytes) override {
    std::lock_guard lock(mutex_);
    lines_.append(bytes);
    return true;
  }
  std::string Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(lines_, std::string());
  }
  std::string Copy() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::string lines_;
};

class PrintLinesOfFailedTests : public ::testing::EmptyTestEventListener {
 public:
  explicit PrintLinesOfFailedTests(TestLines& lines) : lines_(lines) {}
  void OnTestStart(const ::testing::TestInfo&) override { lines_.Take(); }
  void OnTestEnd(const ::testing::TestInfo& test) override {
    const std::string lines = lines_.Take();
    if (test.result()->Failed() && !lines.empty())
      std::printf("setup log lines of %s.%s:\n%s", test.test_suite_name(), test.name(), lines.c_str());
  }

 private:
  TestLines& lines_;
};

// Owned by the setup log from the start of main.
TestLines* testLines = nullptr;

}  // namespace

std::vector<std::string> ostrane::testing::SetupLogLinesOfThisTest() {
  std::vector<std::string> lines;
  if (testLines == nullptr) return lines;
  const std::string bytes = testLines->Copy();
  for (std::size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    // "   12 ms  T3  area: text": the text follows the thread's number.
    const std::size_t thread = bytes.find(" T", start);
    const std::size_t body = thread < end ? bytes.find_first_not_of(' ', bytes.find(' ', thread + 1)) : start;
    lines.push_back(bytes.substr(std::min(body, end), end - std::min(body, end)));
  }
  return lines;
}

int main(int argc, char** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ::testing::InitGoogleTest(&argc, argv);
  auto lines = std::make_unique<TestLines>();
  TestLines& kept = *lines;  // the log owns it from here on, for the whole process
  testLines = &kept;
  ostrane::log::TheSetupLog().Attach(std::move(lines));
  ::testing::UnitTest::GetInstance()->listeners().Append(new PrintLinesOfFailedTests(kept));
  const int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
