// The wizard's first pages, driven through their windows.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_environment.h"
#include "testing/test_server.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;

// Control ids of the pages (see the resource script).
constexpr int kLanguageCombo = 1000, kNext = 1010, kSplashTextQl = 1012, kSplashTitleQl = 1013;
constexpr int kLoadingProgress = 1043, kErrorTitle = 1036, kErrorText = 1037, kClose = 1035;
constexpr int kShowErrorCommand = 1038, kAboutCommand = 0x10, kAboutVersion = 1045;

// A running wizard on its language page.
class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = WorkFolders();
    wizard_ = installer_.WaitForDialog(kWizardCaption);
    ASSERT_NE(wizard_, nullptr) << "the wizard window appears";
    page_ = WaitForPage(wizard_, L"LanguagePageQL");
    ASSERT_NE(page_, nullptr) << "the language page is shown first";
  }
  // A wizard a test left open is closed as a user would, so its work folder goes.
  void TearDown() override {
    if (!installer_.Running() || wizard_ == nullptr) return;
    ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
    if (HWND question = WaitForQuestion(5s)) Click(question, IDOK);
    installer_.WaitForExit(10s);
  }

  // The temp work folder this run made.
  std::wstring WorkFolder() const {
    for (const auto& folder : WorkFolders())
      if (before_.count(folder) == 0) return folder;
    return {};
  }

  // The message box the installer shows, or null.
  HWND WaitForQuestion(std::chrono::milliseconds timeout = kPatience) const {
    return WaitForMessageBox(installer_.pid(), wizard_, timeout);
  }

  Installer installer_{g_installerPath};
  std::set<std::wstring> before_;
  HWND wizard_ = nullptr;
  HWND page_ = nullptr;
};

TEST_F(WizardTest, LanguagePageShowsTheEnglishSplashWithTheProductName) {
  EXPECT_EQ(ControlText(page_, kSplashTitleQl), L"Welcome to Quillara Web\u00ae Setup Wizard");
  EXPECT_EQ(ControlText(page_, kNext), L"Next");
  const std::wstring splash = ControlText(page_, kSplashTextQl);
  EXPECT_NE(splash.find(L"Quillara Web"), std::wstring::npos);
  EXPECT_EQ(splash.find(L"{"), std::wstring::npos) << "every reference is resolved";
  EXPECT_FALSE(ControlVisible(page_, kLanguageCombo)) << "the QL splash hides the language list";
  EXPECT_EQ(ComboSelection(page_, kLanguageCombo), L"English");
}

TEST_F(WizardTest, SpanishUserGetsTheSpanishTable) {
  // Run with LC_ALL=es_ES.UTF-8 (see CMakeLists.txt).
  EXPECT_EQ(ComboSelection(page_, kLanguageCombo), L"espa\u00f1ol");
  EXPECT_EQ(ControlText(page_, kNext), L"Siguiente");
  EXPECT_EQ(ControlText(page_, kSplashTitleQl), L"Welcome to Quillara Web\u00ae Setup Wizard")
      << "the extra texts exist in English only";
}

TEST_F(WizardTest, ClosingAsksCancelKeepsTheWizardOkRemovesTheWorkFolder) {
  const std::wstring workFolder = WorkFolder();
  ASSERT_FALSE(workFolder.empty()) << "the wizard made its temp work folder";

  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  HWND question = WaitForQuestion();
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(MessageBoxText(question), L"Are you sure you want to exit the installer?");
  Click(question, IDCANCEL);
  ASSERT_EQ(installer_.WaitForExit(1s), std::nullopt) << "Cancel keeps the wizard";
  EXPECT_TRUE(Visible(wizard_));

  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  question = WaitForQuestion();
  ASSERT_NE(question, nullptr);
  Click(question, IDOK);
  EXPECT_TRUE(installer_.WaitForExit().has_value());
  EXPECT_EQ(::GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << "the work folder is gone";
}

TEST_F(WizardTest, NextShowsTheLoadingPageWithAMarqueeAndClosingStillAsks) {
  testing::ServerRules slowCampaign(nlohmann::json{{"/o", {{"delay_ms", 2000}, {"body", "{}"}}}});
  PressKey(page_, VK_RETURN);  // Enter presses the default button, Next
  HWND loading = WaitForPage(wizard_, L"LoadingPage");
  ASSERT_NE(loading, nullptr);
  EXPECT_TRUE(::GetWindowLongW(::GetDlgItem(loading, kLoadingProgress), GWL_STYLE) & PBS_MARQUEE);

  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  HWND question = WaitForQuestion();
  ASSERT_NE(question, nullptr) << "with only the language and loading pages, closing asks";
  Click(question, IDOK);
  EXPECT_TRUE(installer_.WaitForExit().has_value());
}

TEST_F(WizardTest, ErrorCommandShowsTheErrorPageAndClosingAsksNothing) {
  ::PostMessageW(wizard_, WM_COMMAND, MAKEWPARAM(kShowErrorCommand, 0), 0);
  HWND error = WaitForPage(wizard_, L"ErrorPage");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(ControlText(error, kErrorTitle), L"Error");
  EXPECT_EQ(ControlText(error, kErrorText), L"Error message");
  EXPECT_EQ(ControlText(error, kClose), L"Close");

  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(installer_.WaitForExit(5s).has_value()) << "no question after an error";
}

TEST_F(WizardTest, CloseOnTheErrorPageEndsTheWizardAndRemovesTheWorkFolder) {
  const std::wstring workFolder = WorkFolder();
  ASSERT_NE(::GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES);
  ::PostMessageW(wizard_, WM_COMMAND, MAKEWPARAM(kShowErrorCommand, 0), 0);
  HWND error = WaitForPage(wizard_, L"ErrorPage");
  ASSERT_NE(error, nullptr);
  Click(error, kClose);
  EXPECT_TRUE(installer_.WaitForExit(5s).has_value());
  EXPECT_EQ(::GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WizardTest, AboutBoxShowsTheInstallerVersion) {
  ::PostMessageW(wizard_, WM_SYSCOMMAND, kAboutCommand, 0);
  HWND about = installer_.WaitForDialog(L"About Ostrane");
  ASSERT_NE(about, nullptr);
  const std::wstring version = ControlText(about, kAboutVersion);
  EXPECT_EQ(version.rfind(L"Ostrane, Version ", 0), 0u);
  EXPECT_EQ(std::count(version.begin(), version.end(), L'.'), 3) << "four numbers";
  Click(about, IDOK);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (::IsWindow(about) && std::chrono::steady_clock::now() < deadline) ::Sleep(20);
  EXPECT_FALSE(::IsWindow(about)) << "OK closes the About box";
}

}  // namespace
}  // namespace ostrane::e2e
