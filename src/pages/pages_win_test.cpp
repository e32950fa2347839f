// The welcome and license pages in a window of the test's own, with the real
// templates, the shipped English texts and the build's settings. URLs the pages
// open are caught where Wine hands them to the browser.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "flow/page_flow.h"
#include "locale/language_manager.h"
#include "locale/win32_locale_platform.h"
#include "system/text_convert.h"
#include "pages/download_page.h"
#include "pages/license_page_isv.h"
#include "pages/welcome_page_isv.h"
#include "res/resource.h"
#include "settings/configuration_manager.h"
#include "settings/wizard_type.h"
#include "testing/browser_capture.h"
#include "testing/accessible_name.h"
#include "testing/page_host.h"
#include "testing/settings_cleanup.h"
#include "testing/setup_log_lines.h"
#include "winui/dpi.h"
#include "winui/gdiplus_image.h"
#include "winui/open_url.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new testing::SettingsWorkFolderCleanup);
const auto* const kWindowClasses = ::testing::AddGlobalTestEnvironment(new testing::PageWindowClasses);

using testing::Click;
using testing::PressEnter;
using PageTest = testing::PageHostTest;
using testing::BrowserCapture;

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Settings fields a test changes, put back at the end of its scope.
class ScopedSettings {
 public:
  ScopedSettings()
      : settings_(ConfigurationManager::Instance()),
        wizardType_(settings_->m_wizardType),
        sdkLicenseUrl_(settings_->m_sdkLicenseUrl),
        logoImage_(settings_->m_logoImage) {}
  ~ScopedSettings() {
    settings_->m_wizardType = wizardType_;
    settings_->m_sdkLicenseUrl = sdkLicenseUrl_;
    settings_->m_logoImage = logoImage_;
  }
  ConfigurationManager* operator->() const { return settings_.get(); }

 private:
  std::shared_ptr<ConfigurationManager> settings_;
  int wizardType_;
  std::wstring sdkLicenseUrl_;
  std::shared_ptr<Gdiplus::Bitmap> logoImage_;
};

TEST_F(PageTest, ButtonsReportTheirStep) {
  const std::function<std::unique_ptr<IPage>()> license = [this] { return Open<LicensePageIsv>(); };
  const std::function<std::unique_ptr<IPage>()> welcome = [this] { return Open<WelcomePageIsv>(); };
  const struct {
    const char* name;
    std::function<std::unique_ptr<IPage>()> open;
    int button;  // 0: Enter with the focus on the page itself
    ButtonType expected;
  } cases[] = {
      {"license agree", license, IDC_AGREE, ButtonType::Next},
      {"license back", license, IDC_BACK, ButtonType::Back},
      {"license enter", license, 0, ButtonType::Next},
      {"welcome next", welcome, IDC_NEXT, ButtonType::Next},
      {"welcome enter", welcome, 0, ButtonType::Next},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pressed_.clear();
    const auto page = c.open();
    if (c.button != 0) {
      Click(page->Item(c.button));
    } else {
      PressEnter(page->hwnd(), page->hwnd());
    }
    EXPECT_EQ(pressed_, std::vector<ButtonType>{c.expected});
  }
}

// The host stands for the wizard window: DefWindowProc closes it on SC_CLOSE, as the
// title bar's button would. Without the close item in its system menu, nothing.
TEST_F(PageTest, EscapeDoesWhatTheCloseButtonDoes) {
  for (const bool closeButton : {true, false}) {
    SCOPED_TRACE(closeButton ? "with a close button" : "close button removed");
    if (!closeButton) ::DeleteMenu(::GetSystemMenu(host_, FALSE), SC_CLOSE, MF_BYCOMMAND);
    const auto page = Open<LicensePageIsv>();
    testing::PressKey(page->hwnd(), page->hwnd(), VK_ESCAPE);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    EXPECT_EQ(::IsWindow(host_) == FALSE, closeButton);
    EXPECT_TRUE(pressed_.empty()) << "no step of the wizard";
    if (::IsWindow(host_) == FALSE) {
      host_ = nullptr;
      SetUp();  // a fresh host for the next round
    }
  }
}

// Pictures and the progress bar draw themselves: their names are their window texts.
TEST_F(PageTest, PicturesAndProgressReadAsWhatTheyShow) {
  const auto download = Open<DownloadPageIsv>();
  const testing::Heard progress = testing::WhatAScreenReaderHears(download->Item(IDC_DOWNLOAD_PROGRESS));
  ASSERT_TRUE(progress.answered);
  EXPECT_EQ(progress.name, L"Installation Status");
  EXPECT_EQ(testing::WhatAScreenReaderHears(download->Item(IDC_PAGE_IMAGE)).name, L"Quillara Web");
  const auto welcome = Open<WelcomePageIsv>();
  EXPECT_EQ(testing::WhatAScreenReaderHears(welcome->Item(IDC_PAGE_IMAGE)).name, L"Quillara Web");
}

// In high contrast the pages ask for no colours of their own: the dialog manager's
// default, the theme's, paints the background, the band and the texts.
TEST_F(PageTest, HighContrastLeavesTheColoursToTheSystem) {
  HIGHCONTRASTW before{};
  before.cbSize = sizeof before;
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof before, &before, 0));
  const auto page = Open<LicensePageIsv>(RGB(255, 255, 255));
  HDC dc = ::GetDC(page->hwnd());
  const auto brushFor = [&](UINT message, HWND control) {
    return ::SendMessageW(page->hwnd(), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  };
  // What the dialog manager gives when a dialog asks for nothing of its own.
  const auto systemBrushFor = [&](UINT message, HWND control) {
    return ::DefWindowProcW(page->hwnd(), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  };
  const struct {
    UINT message;
    HWND control;
  } asked[] = {{WM_CTLCOLORDLG, page->hwnd()},
               {WM_CTLCOLORSTATIC, page->Item(IDC_PAGE_BAND)},
               {WM_CTLCOLORSTATIC, page->Item(IDC_LICENSE_DISCLAIMER)}};
  for (const auto& a : asked)
    EXPECT_NE(brushFor(a.message, a.control), systemBrushFor(a.message, a.control)) << "our own colours by default";

  HIGHCONTRASTW on = before;
  on.dwFlags |= HCF_HIGHCONTRASTON;
  // Not written to the profile: the prefix keeps its setting.
  const bool switched = ::SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof on, &on, 0) && win::HighContrastOn();
  if (!switched) {
    // Wine 8 ignores the switch: the answer is given to the pages instead, so the
    // parameter's own path is shown on Windows only.
    std::printf("high contrast cannot be switched on here: the test decides HighContrastOn() instead\n");
    win::OverrideHighContrast(true);
  }
  for (const auto& a : asked) EXPECT_EQ(brushFor(a.message, a.control), systemBrushFor(a.message, a.control));
  if (switched) ::SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof before, &before, 0);
  win::OverrideHighContrast(std::nullopt);
  ::ReleaseDC(page->hwnd(), dc);
}

TEST(OpenUrlTest, HandsTheUrlToTheBrowserUnchanged) {
  BrowserCapture browser;
  ASSERT_TRUE(browser.ready());
  EXPECT_FALSE(win::OpenUrl(L""));
  const std::wstring url = L"https://localhost/legal/terms-of-use/?lang=en&from=setup#top";
  EXPECT_TRUE(win::OpenUrl(url));
  EXPECT_EQ(browser.WaitForUrls(1), std::vector<std::wstring>{url});
}

// Campaign links that are not web pages never reach the Shell: it would start a
// program or open a file. The one web URL after them is the only one the browser sees.
// Each refused link is logged with why, without its query: offer placeholders put
// the user's values there.
TEST(OpenUrlTest, OpensNothingButWebPagesAndLogsWhatItRefuses) {
  BrowserCapture browser;
  ASSERT_TRUE(browser.ready());
  constexpr char kNoScheme[] = "does not begin with http:// or https://";
  const struct {
    const wchar_t* url;
    const char* why;
    const char* logged;  // the link as the log shows it
  } refused[] = {
      {L"www.example.com/privacy?guid={machineguid}&u=7", kNoScheme, "www.example.com/privacy"},
      {L"C:\\windows\\system32\\winver.exe", kNoScheme, "C:\\windows\\system32\\winver.exe"},
      {L"file:///C:/windows/win.ini", kNoScheme, "file:///C:/windows/win.ini"},
      {L"javascript:alert(1)", kNoScheme, "javascript:alert(1)"},
      {L"\\\\localhost\\c$\\windows", kNoScheme, "\\\\localhost\\c$\\windows"},
      {L"notepad.exe", kNoScheme, "notepad.exe"},
      {L"https://partner.example/terms of use#x", "holds a space, a control character or a backslash",
       "https://partner.example/terms of use"},
      {L"", "empty", ""},
  };
  for (const auto& c : refused) {
    const std::string line = std::string("link: not opened (") + c.why + "): " + c.logged;
    EXPECT_FALSE(win::OpenUrl(c.url)) << line;
    const auto lines = testing::SetupLogLinesOfThisTest();
    EXPECT_TRUE(!lines.empty() && lines.back() == line) << (lines.empty() ? "no line" : lines.back());
  }
  const std::size_t logged = testing::SetupLogLinesOfThisTest().size();
  const std::wstring web = L"http://localhost/after";
  EXPECT_TRUE(win::OpenUrl(web));
  EXPECT_EQ(browser.WaitForUrls(1), std::vector<std::wstring>{web});
  EXPECT_EQ(testing::SetupLogLinesOfThisTest().size(), logged) << "a link opened is not logged";
}

class LicensePageTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    page_ = Open<LicensePageIsv>();
  }
  void TearDown() override {
    page_.reset();
    PageTest::TearDown();
  }
  HWND Item(int id) const { return page_->Item(id); }

  std::unique_ptr<LicensePageIsv> page_;
};

std::wstring SysLinkUrl(HWND link, int index) {
  LITEM item{};
  item.mask = LIF_ITEMINDEX | LIF_URL;
  item.iLink = index;
  if (!::SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)))
    return L"(no link " + std::to_wstring(index) + L")";
  return item.szUrl;
}

DWORD CALLBACK AppendUnicode(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* written) {
  reinterpret_cast<std::wstring*>(cookie)->append(reinterpret_cast<const wchar_t*>(buffer),
                                                  static_cast<std::size_t>(size) / sizeof(wchar_t));
  *written = size;
  return 0;
}

// The whole text as Unicode: WM_GETTEXT of an ANSI window would hide what was lost.
std::wstring RichEditText(HWND richEdit) {
  std::wstring text;
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&text), 0, &AppendUnicode};
  ::SendMessageW(richEdit, EM_STREAMOUT, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
  return text;
}

TEST_F(LicensePageTest, DisclaimerLinksLeadToTheTermsAndThePrivacyPolicy) {
  const auto settings = ConfigurationManager::Instance();
  HWND disclaimer = Item(IDC_LICENSE_DISCLAIMER);
  EXPECT_EQ(SysLinkUrl(disclaimer, 0), settings->m_termsUrl);
  EXPECT_EQ(SysLinkUrl(disclaimer, 1), settings->m_privacyUrl);
  EXPECT_EQ(WindowText(disclaimer).find(L"[LICENSE_"), std::wstring::npos);
}

TEST_F(LicensePageTest, DisclaimerLinksOpenFromTheKeyboard) {
  BrowserCapture browser;
  ASSERT_TRUE(browser.ready());
  HWND disclaimer = Item(IDC_LICENSE_DISCLAIMER);
  ::SetFocus(disclaimer);
  ASSERT_EQ(::GetFocus(), disclaimer);
  ::SendMessageW(disclaimer, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  ASSERT_EQ(browser.WaitForUrls(1).size(), 1u);
  ::SendMessageW(disclaimer, WM_KEYDOWN, VK_TAB, 0x000F0001);  // the next link
  ::SendMessageW(disclaimer, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  const auto settings = ConfigurationManager::Instance();
  EXPECT_EQ(browser.WaitForUrls(2), (std::vector<std::wstring>{settings->m_termsUrl, settings->m_privacyUrl}));
}

// Tab and Shift+Tab reach every control, in reading order, and never stay inside
// the disclaimer's links: at most one press per tab stop and per link.
TEST_F(LicensePageTest, TabVisitsEveryControlInReadingOrderAndNeverTraps) {
  const std::vector<HWND> order = {Item(IDC_LICENSE_EULA), Item(IDC_LICENSE_DISCLAIMER), Item(IDC_BACK),
                                   Item(IDC_AGREE)};
  const int presses = static_cast<int>(order.size()) + 2;  // two links in the disclaimer
  for (const bool shift : {false, true}) {
    SCOPED_TRACE(shift ? "Shift+Tab" : "Tab");
    ::SetFocus(shift ? order.back() : order.front());
    std::vector<HWND> visited = {::GetFocus()};
    for (int i = 0; i < presses && visited.size() < order.size(); ++i) {
      testing::PressKey(page_->hwnd(), ::GetFocus(), VK_TAB, shift);
      if (::GetFocus() != visited.back()) visited.push_back(::GetFocus());
    }
    std::vector<HWND> expected = order;
    if (shift) std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(visited, expected);
  }
}

TEST_F(LicensePageTest, EulaHoldsTheLicenseText) {
  const std::wstring eula = languages_->GetText("LICENSE_EULA");
  ASSERT_FALSE(eula.empty());
  EXPECT_EQ(RichEditText(Item(IDC_LICENSE_EULA)), eula);
  // Focus must not select the agreement and scroll it to its end.
  ::SetFocus(Item(IDC_LICENSE_EULA));
  EXPECT_EQ(::SendMessageW(Item(IDC_LICENSE_EULA), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

// No ANSI code page holds the snowman; 1252, Wine's here, lacks the Polish letters too.
TEST_F(LicensePageTest, EulaKeepsCharactersOutsideTheAnsiCodePage) {
  const std::wstring text = L"Umowa licencyjna \u017c\u00f3\u0142w \u2603";
  tinyxml2::XMLDocument table;
  ASSERT_EQ(table.Parse(("<Locale name=\"pl\"><LICENSE_EULA>" + WideToUtf8(text) + "</LICENSE_EULA></Locale>").c_str()),
            tinyxml2::XML_SUCCESS);
  ASSERT_TRUE(languages_->LoadTexts(table));
  page_->ApplyTexts();
  EXPECT_EQ(RichEditText(Item(IDC_LICENSE_EULA)), text);
}

TEST_F(LicensePageTest, UrlInTheEulaOpensWhenClicked) {
  BrowserCapture browser;
  ASSERT_TRUE(browser.ready());
  HWND eula = Item(IDC_LICENSE_EULA);
  const std::string url = "https://www.quillara.example/legal/terms-of-use/";
  FINDTEXTA find{{0, -1}, url.c_str()};  // an ANSI window: the ANSI structure
  const auto at = static_cast<LONG>(::SendMessageW(eula, EM_FINDTEXT, FR_DOWN, reinterpret_cast<LPARAM>(&find)));
  ASSERT_GE(at, 0);
  ::SendMessageW(eula, EM_SETSEL, at, at);
  ::SendMessageW(eula, EM_SCROLLCARET, 0, 0);
  POINTL where{};
  ::SendMessageW(eula, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&where), at + 3);
  const LPARAM point = MAKELPARAM(where.x + 2, where.y + 2);
  ::SendMessageW(eula, WM_LBUTTONDOWN, MK_LBUTTON, point);
  ::SendMessageW(eula, WM_LBUTTONUP, 0, point);
  // The full stop after the URL in the text is not part of it.
  EXPECT_EQ(browser.WaitForUrls(1), std::vector<std::wstring>{Utf8ToWide(url)});
}

TEST_F(LicensePageTest, TitleIsBoldAtHeightTwelveScaledByTheDpi) {
  auto font = reinterpret_cast<HFONT>(::SendMessageW(Item(IDC_LICENSE_TITLE), WM_GETFONT, 0, 0));
  LOGFONTW description{};
  ASSERT_NE(::GetObjectW(font, sizeof description, &description), 0);
  EXPECT_EQ(description.lfHeight, ::MulDiv(12, win::WindowDpi(nullptr), 96))
      << "twelve at 96 DPI, in proportion at any other";
  EXPECT_EQ(description.lfWeight, 1000);
}

TEST_F(LicensePageTest, DisclaimerPaintsOnThePageBackground) {
  HDC dc = ::CreateCompatibleDC(nullptr);
  ::SetBkMode(dc, OPAQUE);
  auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(page_->hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(Item(IDC_LICENSE_DISCLAIMER))));
  EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
  ::DeleteDC(dc);
  LOGBRUSH description{};
  ASSERT_NE(::GetObjectW(brush, sizeof description, &description), 0);
  EXPECT_EQ(description.lbColor, ConfigurationManager::Instance()->m_backgroundColour);
}

class WelcomePageTest : public PageTest {};

SIZE TextExtent(HWND control) {
  const std::wstring text = WindowText(control);
  HDC dc = ::GetDC(control);
  HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE extent{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(dc, previous);
  ::ReleaseDC(control, dc);
  return extent;
}

void Repaint(HWND control) {
  ::RedrawWindow(::GetAncestor(control, GA_ROOT), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool IsShown(HWND control) { return (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0; }

TEST_F(WelcomePageTest, LinkWithoutUrlIsHidden) {
  ASSERT_TRUE(ConfigurationManager::Instance()->m_sdkLicenseUrl.empty());  // as this build has it
  const auto page = Open<WelcomePageIsv>();
  EXPECT_TRUE(IsShown(page->Item(IDC_PRIVACY_LINK)));
  EXPECT_TRUE(IsShown(page->Item(IDC_TERMS_LINK)));
  EXPECT_FALSE(IsShown(page->Item(IDC_SDK_LINK)));
}

TEST_F(WelcomePageTest, LinksOpenTheirUrlsByMouseSpaceAndEnter) {
  ScopedSettings settings;
  settings->m_sdkLicenseUrl = L"https://localhost/legal/sdk-license/";
  BrowserCapture browser;
  ASSERT_TRUE(browser.ready());
  const auto page = Open<WelcomePageIsv>();

  enum class Press { Mouse, Space, Enter };
  const struct {
    int link;
    Press press;
    std::wstring ConfigurationManager::*url;
  } cases[] = {
      {IDC_PRIVACY_LINK, Press::Mouse, &ConfigurationManager::m_privacyUrl},
      {IDC_TERMS_LINK, Press::Space, &ConfigurationManager::m_termsUrl},
      {IDC_SDK_LINK, Press::Enter, &ConfigurationManager::m_sdkLicenseUrl},
  };
  std::size_t opened = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    HWND link = page->Item(c.link);
    ASSERT_TRUE(IsShown(link));
    switch (c.press) {
      case Press::Mouse:
        ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        break;
      case Press::Space:
        ::SendMessageW(link, WM_KEYDOWN, VK_SPACE, 0x00390001);
        ::SendMessageW(link, WM_KEYUP, VK_SPACE, 0xC0390001);
        break;
      case Press::Enter:
        ::SetFocus(link);
        PressEnter(page->hwnd(), link);
        break;
    }
    const auto urls = browser.WaitForUrls(++opened);
    ASSERT_EQ(urls.size(), opened);
    EXPECT_EQ(urls.back(), ConfigurationManager::Instance().get()->*c.url);
  }
  EXPECT_TRUE(pressed_.empty()) << "Enter on a link must not press Next";
}

TEST_F(WelcomePageTest, LinksShowTheHandCursor) {
  const auto page = Open<WelcomePageIsv>();
  HWND link = page->Item(IDC_PRIVACY_LINK);
  ::SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(WelcomePageTest, LinksReadAsLinksWithTheirTexts) {
  const auto page = Open<WelcomePageIsv>();
  const testing::Heard link = testing::WhatAScreenReaderHears(page->Item(IDC_PRIVACY_LINK));
  ASSERT_TRUE(link.answered);
  EXPECT_EQ(link.role, ROLE_SYSTEM_LINK);
  EXPECT_EQ(link.name, L"Privacy Policy");
}

TEST_F(WelcomePageTest, LinksDrawUnderlinedInTheLinkColourOnThePageBackground) {
  constexpr COLORREF kBackground = RGB(250, 240, 200);
  const COLORREF linkColour = ::GetSysColor(COLOR_HOTLIGHT);
  ASSERT_NE(linkColour, kBackground);
  const auto page = Open<WelcomePageIsv>(kBackground);
  HWND link = page->Item(IDC_PRIVACY_LINK);
  Repaint(link);
  RECT client{};
  ::GetClientRect(link, &client);
  int longestRow = 0;  // in link colour: the underline
  HDC dc = ::GetDC(link);
  // Inside the focus rectangle the page may draw around it, left of the text.
  const COLORREF corner = ::GetPixel(dc, 1, 1);
  for (int y = 0; y < client.bottom; ++y) {
    int row = 0;
    for (int x = 0; x < client.right; ++x) row += ::GetPixel(dc, x, y) == linkColour;
    longestRow = std::max(longestRow, row);
  }
  ::ReleaseDC(link, dc);
  EXPECT_EQ(corner, kBackground);
  EXPECT_GE(longestRow, TextExtent(link).cx * 9 / 10);
}

// A table without texts for Agree and Back: the template's own captions show, and
// they are real words, not stand-ins.
TEST_F(PageTest, LicenseButtonsWithoutATextShowTheTemplatesWords) {
  tinyxml2::XMLDocument table;
  ASSERT_EQ(table.Parse("<Locale name=\"es\"><BUTTON_NEXT>Siguiente</BUTTON_NEXT></Locale>"), tinyxml2::XML_SUCCESS);
  ASSERT_TRUE(languages_->LoadTexts(table));
  const auto page = Open<LicensePageIsv>();
  EXPECT_EQ(WindowText(page->Item(IDC_AGREE)), L"Agree");
  EXPECT_EQ(WindowText(page->Item(IDC_BACK)), L"Back");
}

TEST_F(WelcomePageTest, LinksFitTheirTextsInEachLanguage) {
  const auto page = Open<WelcomePageIsv>();
  std::wstring previousPrivacy;
  for (const wchar_t* language : {L"English", L"espa\u00f1ol"}) {
    SCOPED_TRACE(WideToUtf8(language));
    ASSERT_TRUE(languages_->SetLanguage(language));
    for (int id : {IDC_PRIVACY_LINK, IDC_TERMS_LINK, IDC_SDK_LINK}) {
      SCOPED_TRACE(id);
      HWND link = page->Item(id);
      const SIZE text = TextExtent(link);
      RECT client{};
      ::GetClientRect(link, &client);
      EXPECT_GE(client.right, text.cx);
      EXPECT_LE(client.right, text.cx + 8);
      EXPECT_GE(client.bottom, text.cy);
      EXPECT_LE(client.bottom, text.cy + 4);
    }
    // Only a new text shows that the links were sized again.
    const std::wstring privacy = WindowText(page->Item(IDC_PRIVACY_LINK));
    EXPECT_NE(privacy, previousPrivacy);
    previousPrivacy = privacy;
  }
}

// The colours painted inside a control, on a coarse grid.
std::vector<COLORREF> Painted(HWND control) {
  Repaint(control);
  RECT client{};
  ::GetClientRect(control, &client);
  std::vector<COLORREF> colours;
  HDC dc = ::GetDC(control);
  for (int y = 1; y < 8; ++y)
    for (int x = 1; x < 8; ++x) colours.push_back(::GetPixel(dc, client.right * x / 8, client.bottom * y / 8));
  ::ReleaseDC(control, dc);
  return colours;
}

TEST_F(WelcomePageTest, WizardTypeChoosesPictureAndTermsText) {
  constexpr COLORREF kLogo = RGB(200, 30, 40);
  const struct {
    int wizardType;
    const char* termsKey;
  } cases[] = {{kWizardIsv, "EULA_LINK"}, {kWizardDlm, "TOS_LINK"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.termsKey);
    ScopedSettings settings;
    settings->m_wizardType = c.wizardType;
    auto logo = std::make_shared<Gdiplus::Bitmap>(16, 16, PixelFormat32bppARGB);
    Gdiplus::Graphics(logo.get()).Clear(Gdiplus::Color(255, GetRValue(kLogo), GetGValue(kLogo), GetBValue(kLogo)));
    settings->m_logoImage = logo;
    languages_ = MakeLanguages();
    const auto page = Open<WelcomePageIsv>();

    const std::wstring terms = languages_->GetText(c.termsKey);
    ASSERT_FALSE(terms.empty());
    EXPECT_EQ(WindowText(page->Item(IDC_TERMS_LINK)), terms);

    const std::vector<COLORREF> colours = Painted(page->Item(IDC_PAGE_IMAGE));
    const auto logoPixels = std::count(colours.begin(), colours.end(), kLogo);
    if (c.wizardType == kWizardDlm) {
      EXPECT_EQ(logoPixels, static_cast<std::ptrdiff_t>(colours.size()));
    } else {
      // The product picture: drawn (more than one colour) and not the logo.
      EXPECT_EQ(logoPixels, 0);
      EXPECT_GT(std::count_if(colours.begin(), colours.end(), [&](COLORREF colour) { return colour != colours[0]; }), 0);
    }
  }
}

}  // namespace
}  // namespace ostrane
