// Installer variants built from the same code with other compiled-in options.
#include <windows.h>

#include <gtest/gtest.h>

#include "e2e_environment.h"
#include "e2e_server.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;
using nlohmann::json;

constexpr int kLanguageCombo = 1000, kNext = 1010, kSplashText = 1011, kDecline = 1022;

HWND WaitForMessage(const Installer& installer, const std::wstring& caption, const std::wstring& text) {
  return installer.WaitForWindow([&](HWND w) {
    return ClassName(w) == L"#32770" && Text(w) == caption && MessageBoxText(w) == text;
  });
}

TEST(VariantsTest, UnknownWizardTypeIsRefusedWithTwoMessagesAndNoWizard) {
  Installer installer(VariantPath(L"UnknownType"));
  HWND unknown = WaitForMessage(installer, L"Ostrane", L"Unknown wizard type");
  ASSERT_NE(unknown, nullptr);
  Click(unknown, IDOK);
  HWND invalid = WaitForMessage(installer, L"Ostrane", L"Invalid wizard type");
  ASSERT_NE(invalid, nullptr);
  EXPECT_EQ(installer.WaitForWindow([](HWND w) { return Text(w) == L"Setup"; }, 0ms), nullptr)
      << "the wizard window never shows";
  Click(invalid, IDOK);
  EXPECT_TRUE(installer.WaitForExit().has_value());
}

TEST(VariantsTest, DlmWizardIsCaptionedSetupAndOffersFourteenTables) {
  Installer installer(VariantPath(L"DLM"));
  HWND wizard = installer.WaitForDialog(L"Setup");
  ASSERT_NE(wizard, nullptr);
  HWND page = WaitForPage(wizard, L"LanguagePageQL");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(::SendMessageW(::GetDlgItem(page, kLanguageCombo), CB_GETCOUNT, 0, 0), 14);
  EXPECT_EQ(ComboSelection(page, kLanguageCombo), L"English");
  EXPECT_EQ(ControlText(page, kNext), L"Next");
  CloseAndConfirm(installer, wizard);
  EXPECT_TRUE(installer.WaitForExit().has_value());
}

TEST(VariantsTest, PlainWizardListsLanguagesAndSwitchesOnSelection) {
  Installer installer(VariantPath(L"Plain"));
  HWND wizard = installer.WaitForDialog(kWizardCaption);
  ASSERT_NE(wizard, nullptr);
  HWND page = WaitForPage(wizard, L"LanguagePage");
  ASSERT_NE(page, nullptr);
  HWND combo = ::GetDlgItem(page, kLanguageCombo);
  EXPECT_TRUE(Visible(combo));
  EXPECT_EQ(ControlText(page, kSplashText),
            L"To continue, please select your preferred language, and click \"Next\".");

  // Choose the second language as a user would: selection, then the change notification.
  ::SendMessageW(combo, CB_SETCURSEL, 1, 0);
  ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(kLanguageCombo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (ControlText(page, kNext) != L"Siguiente" && std::chrono::steady_clock::now() < deadline) ::Sleep(50);
  EXPECT_EQ(ControlText(page, kNext), L"Siguiente");
  EXPECT_NE(ControlText(page, kSplashText).find(L"Siguiente"), std::wstring::npos) << "references follow";
  CloseAndConfirm(installer, wizard);
  EXPECT_TRUE(installer.WaitForExit().has_value());
}

// Without the splash flavour the campaign is followed by the welcome page, not the
// license, and the offers come after it.
TEST(VariantsTest, PlainWizardGoesThroughLoadingToTheWelcomePage) {
  const json offer = {{"ad", {{"o", "a"}, {"f", "flow"}}},
                      {"ps", {{"i", "a.png"}, {"dn", "Offer a"}, {"u", "https://localhost/f/a.exe"}, {"v", 1}}}};
  // The campaign and the product take their time, so that every page stays long
  // enough to be seen.
  testing::ServerRules rules(json{{"/o", {{"body", json{{"f", {{"m", 1}}}, {"o", {offer}}}.dump()}, {"delay_ms", 1500}}},
                                  {"/endpoint/qlweb/os/riserollout/track/beta", {{"delay_ms", 5000}}}});
  Installer installer(VariantPath(L"Plain"));
  HWND wizard = installer.WaitForDialog(kWizardCaption);
  ASSERT_NE(wizard, nullptr);
  std::vector<std::wstring> pages;
  HWND page = WaitForPage(wizard, L"LanguagePage");
  ASSERT_NE(page, nullptr);
  pages.push_back(PageName(page));
  Click(page, kNext);
  for (int step = 0; step < 4 && page != nullptr; ++step) {
    page = WaitForNextPage(wizard, page);
    if (page == nullptr) break;
    pages.push_back(PageName(page));
    if (pages.back() == L"WelcomePage") Click(page, kNext);
    if (pages.back() == L"ProductPage") Click(page, kDecline);
  }
  const std::vector<std::wstring> expected = {L"LanguagePage", L"LoadingPage", L"WelcomePage", L"ProductPage",
                                              L"DownloadPageISV"};
  EXPECT_EQ(pages, expected);
  CloseAndConfirm(installer, wizard);
  EXPECT_TRUE(installer.WaitForExit().has_value());
}

}  // namespace
}  // namespace ostrane::e2e
