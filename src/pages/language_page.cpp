#include "pages/language_page.h"

#include "locale/win32_locale_platform.h"
#include "res/resource.h"
#include "winui/dialog.h"

namespace ostrane {

LanguagePage::LanguagePage(std::shared_ptr<LanguageManager> languages)
    : LanguagePage(std::move(languages), IDD_LANGUAGE_PAGE) {}

LanguagePage::LanguagePage(std::shared_ptr<LanguageManager> languages, int templateId)
    : IPage(std::move(languages), templateId) {}

LanguagePageQL::LanguagePageQL(std::shared_ptr<LanguageManager> languages)
    : LanguagePage(std::move(languages), IDD_LANGUAGE_PAGE_QL) {}

void LanguagePage::BindTexts() {
  BindText(IDC_NEXT, "BUTTON_NEXT");
  BindText(IDC_SPLASH_TEXT, "SPLASH_TEXT");
}

void LanguagePageQL::BindTexts() {
  BindText(IDC_NEXT, "BUTTON_NEXT");
  BindText(IDC_SPLASH_TITLE_QL, "SPLASH_TITLE_QL");
  BindText(IDC_SPLASH_TEXT_QL, "SPLASH_TEXT_QL");
}

bool LanguagePage::OnInitDialog() {
  IPage::OnInitDialog();
  BindTexts();
  ComboBoxLanguageList list(Item(IDC_LANGUAGE_COMBO));
  languages()->FillLanguageCombo(list);
  ApplySelectedLanguage();
  // Enter presses Next.
  ::SendMessageW(hwnd(), DM_SETDEFID, IDC_NEXT, 0);
  return true;
}

void LanguagePage::ApplySelectedLanguage() {
  HWND combo = Item(IDC_LANGUAGE_COMBO);
  const auto index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return;
  const auto length = ::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
  std::wstring name(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name.data()));
  name.resize(std::wcslen(name.c_str()));
  languages()->SetLanguage(name);
}

bool LanguagePage::OnCommand(int id, int notifyCode, HWND control) {
  if (id == IDC_LANGUAGE_COMBO && notifyCode == CBN_SELCHANGE) {
    ApplySelectedLanguage();
    return true;
  }
  if (ReportClick(id, notifyCode, {{IDC_NEXT, ButtonType::Next}})) return true;
  return IPage::OnCommand(id, notifyCode, control);
}

}  // namespace ostrane
