#include <gtest/gtest.h>

#include "demo_files.h"
#include "e2e_environment.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;

TEST(SingleInstanceTest, SecondInstanceSaysSoAndLeavesTheFirstRunning) {
  const auto before = WorkFolders();
  const auto logsBefore = SetupLogs();
  // The first writes where /log says: a default name holds only the second of its
  // start, which the run of the test before may have taken too.
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring firstLog = std::wstring(temp) + L"ostrane e2e single instance.log";
  struct RemovedFile {
    explicit RemovedFile(const std::wstring& path) : path(path) { ::DeleteFileW(path.c_str()); }
    ~RemovedFile() { ::DeleteFileW(path.c_str()); }
    std::wstring path;
  } const removeLog(firstLog);
  Installer first(g_installerPath, L"/log \"" + firstLog + L"\"");
  HWND wizard = first.WaitForDialog(kWizardCaption);
  ASSERT_NE(wizard, nullptr) << "the first installer shows its wizard";

  Installer second(g_installerPath, L"/second-instance");
  HWND box = second.WaitForDialog(L"Error");
  ASSERT_NE(box, nullptr) << "the second installer shows a message box";
  EXPECT_EQ(MessageBoxText(box), L"Another setup is already running, please close it and try again");
  EXPECT_EQ(second.WaitForWindow([](HWND w) { return Text(w) == kWizardCaption; }, 0ms), nullptr)
      << "the second installer never shows its wizard";
  Click(box, IDOK);
  EXPECT_TRUE(second.WaitForExit().has_value());
  EXPECT_EQ(WorkFolders().size(), before.size() + 1) << "the refused instance left no work folder of its own";
  // The refused instance keeps no log, and leaves the first one's alone.
  EXPECT_EQ(SetupLogs(), logsBefore);
  const std::string text = ReadBytes(firstLog);
  EXPECT_NE(text.find("this log:"), std::string::npos);
  EXPECT_EQ(text.find("second-instance"), std::string::npos) << "the refused instance wrote to the first's log";

  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(Visible(wizard));

  // Closing the first (and confirming) frees the guard: a new instance runs normally.
  CloseAndConfirm(first, wizard);
  ASSERT_TRUE(first.WaitForExit().has_value());
  Installer third(g_installerPath);
  HWND thirdWizard = third.WaitForDialog(kWizardCaption);
  ASSERT_NE(thirdWizard, nullptr);
  CloseAndConfirm(third, thirdWizard);
  EXPECT_TRUE(third.WaitForExit().has_value());
}

}  // namespace
}  // namespace ostrane::e2e
