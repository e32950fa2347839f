// The offer rules against Wine's real registry, files and processes: keys the tests
// write in both views, an App Paths entry, a running helper program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>

#include "eligibility/registry_error.h"
#include "eligibility/registry_path.h"
#include "eligibility/win32_machine.h"
#include "testing/settings_cleanup.h"
#include "testing/offer_rules_fixture.h"
#include "testing/scratch_registry.h"
#include "winui/unique_handle.h"
#include "testing/kit_paths.h"

namespace ostrane {
namespace {

using nlohmann::json;
using testing::ScratchRegistry;

const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new testing::SettingsWorkFolderCleanup);

class OfferRulesWinTest : public testing::OfferRulesFixture {
 protected:
  void SetUp() override {
    machineUnderTest = &real_;
    ASSERT_TRUE(real_.IsWow64()) << "the tests expect a 32-bit process on 64-bit Windows";
  }

  // A key name of this run, so that parallel or earlier runs never collide.
  const std::wstring name_ = L"OstraneRules-" + std::to_wstring(::GetCurrentProcessId());
  const std::string narrowName_ = std::string(name_.begin(), name_.end());
  Win32Machine real_;
  ScratchRegistry registry_;
};

TEST_F(OfferRulesWinTest, ARelativePathIsLookedForInEveryBranch) {
  const json offer = {{"r", {narrowName_ + "\\App"}}};
  ASSERT_EQ(RejectionOf(offer), "") << "nothing written yet";
  const struct {
    const char* where;
    HKEY root;
    REGSAM view;
  } branches[] = {{"HKLM, 64-bit view", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY},
                  {"HKLM, 32-bit view", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY},
                  {"HKCU", HKEY_CURRENT_USER, 0}};
  for (const auto& branch : branches) {
    ScratchRegistry scratch;
    ASSERT_TRUE(scratch.Create(branch.root, L"Software\\" + name_, branch.view));
    ASSERT_TRUE(scratch.Create(branch.root, L"Software\\" + name_ + L"\\App", branch.view));
    EXPECT_EQ(RejectionOf(offer), "REGISTRY KEY EXISTS") << branch.where;
  }
}

TEST_F(OfferRulesWinTest, AWow6432NodePathIsReadInThe32BitView) {
  ASSERT_TRUE(registry_.Create(HKEY_LOCAL_MACHINE, L"Software\\" + name_, KEY_WOW64_32KEY));
  const std::string path = "hklm\\software\\wow6432node\\" + narrowName_;
  EXPECT_EQ(RejectionOf({{"r", {path}}}), "REGISTRY KEY EXISTS");
  // The same name without wow6432node is read in the 64-bit view, where it is not.
  EXPECT_EQ(RejectionOf({{"r", {"hklm\\software\\" + narrowName_}}}), "");
}

TEST_F(OfferRulesWinTest, ValuesAndTheirData) {
  auto key = registry_.Create(HKEY_LOCAL_MACHINE, L"Software\\" + name_, KEY_WOW64_64KEY);
  ASSERT_TRUE(key);
  const DWORD largest = 4294967295u;
  const BYTE blob[] = {1, 2, 3};
  ScratchRegistry::SetRaw(key.get(), L"Level", REG_DWORD, &largest, sizeof largest);
  ScratchRegistry::SetString(key.get(), L"Edition", L"Pro Edition");
  ScratchRegistry::SetRaw(key.get(), L"Blob", REG_BINARY, blob, sizeof blob);

  RegistryAccess registry(real_);
  EXPECT_EQ(registry.ReadValueAsText(L"hkey_local_machine", L"software\\" + LowerCase(name_), L"level"),
            std::optional<std::wstring>(L"4294967295"));
  EXPECT_EQ(registry.ReadValueAsText(L"hkey_local_machine", L"software\\" + LowerCase(name_), L"blob"), std::nullopt)
      << "a value of another type is not found";

  const std::string base = narrowName_ + "\\";
  EXPECT_EQ(RejectionOf({{"rvd", {base + "Level\\4294967295"}}}), "REGISTRY VALUE DATA MATCHES");
  EXPECT_EQ(RejectionOf({{"rvd", {base + "Edition\\PRO EDITION"}}}), "REGISTRY VALUE DATA MATCHES");
  EXPECT_EQ(RejectionOf({{"rvd", {base + "Edition\\Home"}}}), "");
  EXPECT_EQ(RejectionOf({{"rvn", {base + "Blob"}}}), "REGISTRY VALUE EXISTS");
  EXPECT_EQ(RejectionOf({{"rvn", {base + "Missing"}}}), "");
}

// A DWORD value of two bytes, as a damaged registry may hold: the key and the value
// are there, the read fails.
TEST_F(OfferRulesWinTest, AFailedReadOfAnExistingValueEndsTheLoad) {
  auto key = registry_.Create(HKEY_LOCAL_MACHINE, L"Software\\" + name_, KEY_WOW64_64KEY);
  ASSERT_TRUE(key);
  const WORD truncated = 7;
  ASSERT_EQ(ScratchRegistry::SetRaw(key.get(), L"Level", REG_DWORD, &truncated, sizeof truncated), ERROR_SUCCESS);
  try {
    RejectionOf({{"rvd", {narrowName_ + "\\Level\\7"}}});
    ADD_FAILURE() << "the load went on";
  } catch (const win32::RegistryError& error) {
    EXPECT_STREQ(error.what(), win32::kReadDwordFailed);
    EXPECT_NE(error.code(), 0);
  }
}

TEST_F(OfferRulesWinTest, AnInstalledApplicationIsFoundThroughAppPaths) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring program = std::wstring(temp) + name_ + L".exe";
  win::UniqueFileHandle file(::CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  ASSERT_TRUE(file);
  const std::wstring entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name_ + L".exe";
  auto key = registry_.Create(HKEY_LOCAL_MACHINE, entry, KEY_WOW64_64KEY);
  ASSERT_TRUE(key);
  ScratchRegistry::SetString(key.get(), L"", program);

  std::string application = narrowName_ + ".exe";
  for (char& c : application) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(RejectionOf({{"eapp", {application}}}), "REGISTRY EXCLUDE APP FOUND");
  EXPECT_EQ(RejectionOf({{"iapp", {application}}}), "");
  EXPECT_EQ(RejectionOf({{"iapp", {"ostrane-not-installed.exe"}}}), "REGISTRY INCLUDE APP NOT FOUND");
}

TEST_F(OfferRulesWinTest, ARunningProgramHoldsItsOfferBack) {
  std::wstring path = testing::TestFilePath(OSTRANE_SLEEPER_PATH);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  win::UniqueKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
  struct Ender {
    HANDLE process;
    ~Ender() {
      ::TerminateProcess(process, 0);
      ::WaitForSingleObject(process, 5000);
    }
  } ender{process.hProcess};

  EXPECT_EQ(RejectionOf({{"a", {"Test_Sleeper"}}}), "APPLICATION RUNNING");
  EXPECT_EQ(RejectionOf({{"a", {"test_sleeper.exe"}}}), "APPLICATION RUNNING");
  EXPECT_EQ(RejectionOf({{"a", {"test_sleeper2"}}}), "");
}

}  // namespace
}  // namespace ostrane
