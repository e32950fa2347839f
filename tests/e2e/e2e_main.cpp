// End-to-end tests: the real installer under Wine, driven through its windows.
// The installer's path comes as the first argument.
#include <gtest/gtest.h>

#include "e2e_environment.h"
#include "testing/test_server.h"

namespace ostrane::e2e {
std::wstring g_installerPath;

namespace {

// No run may leave a temp work folder behind, whichever way it ended. The setup logs
// are left on purpose, for support; the tests' runs remove theirs.
class NoWorkFolderLeft : public ::testing::Environment {
 public:
  void SetUp() override {
    before_ = WorkFolders();
    logsBefore_ = SetupLogs();
  }
  void TearDown() override {
    for (const auto& folder : WorkFolders())
      if (before_.count(folder) == 0) ADD_FAILURE() << "left behind: " << std::string(folder.begin(), folder.end());
    for (const auto& log : SetupLogs())
      if (logsBefore_.count(log) == 0) ::DeleteFileW(log.c_str());
  }

 private:
  std::set<std::wstring> before_;
  std::set<std::wstring> logsBefore_;
};

}  // namespace
}  // namespace ostrane::e2e

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fprintf(stderr, "usage: %s <installer.exe>\n", argv[0]);
    return 2;
  }
  ostrane::e2e::g_installerPath = ostrane::uidriver::WindowsPath(argv[1]);
  // Unless a test serves its own, the campaign has no offers.
  const ostrane::testing::ServedCampaign campaign("{}");
  ::testing::AddGlobalTestEnvironment(new ostrane::e2e::NoWorkFolderLeft);
  return RUN_ALL_TESTS();
}
