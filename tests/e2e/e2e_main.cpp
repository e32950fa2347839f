// End-to-end tests: the real installer under Wine, driven through its windows.
// The installer's path comes as the first argument.
#include <gtest/gtest.h>

#include "e2e_environment.h"
#include "testing/test_server.h"

namespace ostrane::e2e {
std::wstring g_installerPath;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fprintf(stderr, "usage: %s <installer.exe>\n", argv[0]);
    return 2;
  }
  ostrane::e2e::g_installerPath = ostrane::uidriver::WindowsPath(argv[1]);
  // Unless a test serves its own, the campaign has no offers.
  const ostrane::testing::ServedCampaign campaign("{}");
  return RUN_ALL_TESTS();
}
