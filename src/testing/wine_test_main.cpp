// gtest entry for the Windows test programs that run under Wine. The setup log lines
// that a failing test's code wrote are printed after it: a request that failed says
// there which call failed and why.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "log/setup_log.h"

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

}  // namespace

int main(int argc, char** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ::testing::InitGoogleTest(&argc, argv);
  auto lines = std::make_unique<TestLines>();
  TestLines& kept = *lines;  // the log owns it from here on, for the whole process
  ostrane::log::TheSetupLog().Attach(std::move(lines));
  ::testing::UnitTest::GetInstance()->listeners().Append(new PrintLinesOfFailedTests(kept));
  const int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
