// What the pages of each build say in every language of its wizard type, with the
// shipped tables: every key a page binds has a text (one that is missing leaves the
// template's English among the user's language), the license disclaimer names the
// button that is on its page, and each text fits its control.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "pages/download_page.h"
#include "pages/error_page.h"
#include "pages/finish_page.h"
#include "pages/language_page.h"
#include "pages/license_page_isv.h"
#include "pages/loading_page.h"
#include "pages/product_page.h"
#include "pages/welcome_page_isv.h"
#include "res/resource.h"
#include "settings/wizard_type.h"
#include "system/text_convert.h"
#include "testing/fake_server_link.h"
#include "testing/page_host.h"
#include "testing/sample_request.h"
#include "winui/dpi.h"

namespace ostrane {
namespace {

using nlohmann::json;

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

// How far the control's text runs past the room it has, in pixels (0: it fits), drawn
// with the control's font: push buttons keep a little frame on each side, check boxes
// and radio buttons their box, static texts wrap and must end above their bottom.
// Controls that draw or scroll their own text count as fitting.
int Overflow(HWND control) {
  const std::wstring className = ClassName(control);
  const LONG style = ::GetWindowLongW(control, GWL_STYLE);
  const LONG buttonKind = style & BS_TYPEMASK;
  const LONG staticKind = style & SS_TYPEMASK;
  const bool pushButton = buttonKind == BS_PUSHBUTTON || buttonKind == BS_DEFPUSHBUTTON;
  const bool boxButton = buttonKind == BS_AUTOCHECKBOX || buttonKind == BS_CHECKBOX ||
                         buttonKind == BS_AUTORADIOBUTTON || buttonKind == BS_RADIOBUTTON;
  const bool text = staticKind == SS_LEFT || staticKind == SS_CENTER || staticKind == SS_RIGHT;
  if (!(className == L"Button" && (pushButton || boxButton)) && !(className == L"Static" && text)) return 0;

  const std::wstring words = WindowText(control);
  RECT client{};
  ::GetClientRect(control, &client);
  const int dpi = win::WindowDpi(control);
  HDC dc = ::GetDC(control);
  HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  int overflow = 0;
  if (className == L"Button") {
    RECT needed{};
    ::DrawTextW(dc, words.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    const int frame = pushButton ? ::MulDiv(8, dpi, 96) : ::GetSystemMetrics(SM_CXMENUCHECK) + ::MulDiv(4, dpi, 96);
    overflow = std::max<int>(0, needed.right + frame - client.right);
  } else {
    RECT needed{0, 0, client.right, 0};
    ::DrawTextW(dc, words.c_str(), -1, &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
    overflow = std::max<int>(0, std::max(needed.bottom - client.bottom, needed.right - client.right));
  }
  ::SelectObject(dc, previous);
  ::ReleaseDC(control, dc);
  return overflow;
}

struct Build {
  const char* name;
  int wizardType;
  bool qlFlavour;
};
constexpr Build kBuilds[] = {{"ISV", kWizardIsv, true},
                             {"ISV without the QL pages", kWizardIsv, false},
                             {"DLM", kWizardDlm, true},
                             {"DLM without the QL pages", kWizardDlm, false}};

class PageTextsTest : public testing::PageHostTest {
 protected:
  void SetUp() override {
    PageHostTest::SetUp();
    settings_ = ConfigurationManager::Instance();
    saved_ = {settings_->m_wizardType, settings_->m_qlFlavour, settings_->m_productName};
  }
  void TearDown() override {
    pages_.clear();
    settings_->m_wizardType = saved_.wizardType;
    settings_->m_qlFlavour = saved_.qlFlavour;
    settings_->m_productName = saved_.productName;
    PageHostTest::TearDown();
  }

  // The pages of the build as the wizard makes them once the campaign has named the
  // product (the first page is still there for Back), and the build's languages.
  std::vector<std::wstring> OpenPagesOf(const Build& build) {
    pages_.clear();
    settings_->m_wizardType = build.wizardType;
    settings_->m_qlFlavour = build.qlFlavour;
    settings_->m_productName = L"Nimbus Notes";
    languages_ = MakeLanguages();
    testing::FakeLanguageList list;
    languages_->FillLanguageCombo(list);

    const bool dlm = build.wizardType == kWizardDlm;
    if (build.qlFlavour) {
      pages_.push_back(Open<LanguagePageQL>());
      pages_.push_back(Open<LoadingPage>());
      pages_.push_back(Open<LicensePageIsv>());
    } else {
      pages_.push_back(Open<LanguagePage>());
      pages_.push_back(Open<LoadingPage>());
      pages_.push_back(Open<WelcomePageIsv>());
    }
    auto offer = std::make_shared<Package>(
        testing::SampleRequestContext(),
        json{{"ad", {{"o", "nimbus"}, {"f", "f"}}},
             {"ps", {{"i", "p.png"}, {"dn", "Nimbus Notes"}, {"u", "https://localhost/f/n.exe"}}}},
        OfferSources(), 1);
    offer->SetServerLink(std::make_shared<testing::FakeServerLink>());
    auto product = std::make_unique<ProductPage>(languages_, std::move(offer));
    EXPECT_TRUE(product->Create(host_));
    pages_.push_back(std::move(product));
    if (dlm) {
      pages_.push_back(Open<DownloadPageDlm>());
      pages_.push_back(Open<FinishPageDlm>());
    } else {
      pages_.push_back(Open<DownloadPageIsv>());
      pages_.push_back(Open<FinishPageIsv>());
    }
    pages_.push_back(Open<ErrorPage>());

    std::vector<std::wstring> names;
    for (const std::wstring& name : list.names)
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);  // Polish is listed twice
    EXPECT_EQ(names.size(), dlm ? 13u : 2u);
    return names;
  }

  IPage* PageNamed(const std::wstring& name) const {
    for (const auto& page : pages_)
      if (page->GetPageName() == name) return page.get();
    return nullptr;
  }

  std::shared_ptr<ConfigurationManager> settings_;
  struct {
    int wizardType;
    bool qlFlavour;
    std::wstring productName;
  } saved_;
  std::vector<std::unique_ptr<IPage>> pages_;
};

TEST_F(PageTextsTest, EveryKeyAPageBindsHasATextInEveryLanguage) {
  for (const Build& build : kBuilds) {
    SCOPED_TRACE(build.name);
    for (const std::wstring& language : OpenPagesOf(build)) {
      SCOPED_TRACE(WideToUtf8(language));
      ASSERT_TRUE(languages_->SetLanguage(language));
      for (const auto& page : pages_) {
        for (const TextBinding& binding : page->TextBindings()) {
          if (page->Item(binding.controlId) == nullptr) continue;  // not on this page's template
          EXPECT_FALSE(languages_->GetText(binding.key).empty())
              << WideToUtf8(page->GetPageName()) << " binds " << binding.key;
        }
      }
    }
  }
}

// The disclaimer is one English text for every table; the button under it is in the
// user's language.
TEST_F(PageTextsTest, LicenseDisclaimerNamesTheButtonOnItsPage) {
  for (const Build& build : kBuilds) {
    if (!build.qlFlavour) continue;  // no license page
    SCOPED_TRACE(build.name);
    for (const std::wstring& language : OpenPagesOf(build)) {
      SCOPED_TRACE(WideToUtf8(language));
      ASSERT_TRUE(languages_->SetLanguage(language));
      const IPage* license = PageNamed(L"LicensePage");
      ASSERT_NE(license, nullptr);
      const std::wstring agree = WindowText(license->Item(IDC_AGREE));
      EXPECT_NE(WindowText(license->Item(IDC_LICENSE_DISCLAIMER)).find(L"\"" + agree + L"\""), std::wstring::npos)
          << WideToUtf8(agree);
    }
  }
}

TEST_F(PageTextsTest, EveryTextFitsItsControlInEveryLanguage) {
  for (const Build& build : kBuilds) {
    SCOPED_TRACE(build.name);
    for (const std::wstring& language : OpenPagesOf(build)) {
      SCOPED_TRACE(WideToUtf8(language));
      ASSERT_TRUE(languages_->SetLanguage(language));
      for (const auto& page : pages_) {
        for (const TextBinding& binding : page->TextBindings()) {
          HWND control = page->Item(binding.controlId);
          if (control == nullptr) continue;
          EXPECT_EQ(Overflow(control), 0) << WideToUtf8(page->GetPageName()) << " " << binding.key << ": "
                                          << WideToUtf8(WindowText(control));
        }
      }
    }
  }
}

}  // namespace
}  // namespace ostrane
