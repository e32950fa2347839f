#include "pages/warning_page_ql_classic.h"

#include "winui/link_tabbing.h"
#include "settings/configuration_manager.h"
#include "res/resource.h"
#include "winui/fonts.h"

namespace ostrane {

WarningPageQLClassic::WarningPageQLClassic(std::shared_ptr<LanguageManager> languages)
    : IPage(std::move(languages), IDD_WARNING_PAGE) {}

bool WarningPageQLClassic::OnInitDialog() {
  IPage::OnInitDialog();
  linkBrush_.reset(::CreateSolidBrush(ConfigurationManager::Instance()->m_backgroundColour));
  BindText(IDC_WARNING_TITLE, "WARNING_TITLE");
  BindText(IDC_WARNING_SUBTITLE, "WARNING_SUBTITLE");
  BindText(IDC_WARNING_TEXT, "WARNING_TEXT");
  BindText(IDC_NEXT, "BUTTON_NEXT");
  BindText(IDC_BACK, "BUTTON_BACK");
  BindText(IDC_TITLE_TEXT, "PRODUCT_TITLE");  // not on this template: skipped
  ApplyTexts();
  win::LetTabLeaveLinks(Item(IDC_WARNING_TEXT));
  titleFont_ = win::ApplyDerivedFont(Item(IDC_WARNING_TITLE), 12, 1000);
  return true;
}

HBRUSH WarningPageQLClassic::OnCtlColorHook(HDC dc, HWND control, UINT type) {
  if (control != nullptr && ::GetDlgCtrlID(control) == IDC_WARNING_TEXT) {
    ::SetBkMode(dc, TRANSPARENT);
    return linkBrush_.get();
  }
  return IPage::OnCtlColorHook(dc, control, type);
}

bool WarningPageQLClassic::OnCommand(int id, int notifyCode, HWND control) {
  if (ReportClick(id, notifyCode, {{IDC_NEXT, ButtonType::Next}, {IDC_BACK, ButtonType::Back}})) return true;
  return IPage::OnCommand(id, notifyCode, control);
}

}  // namespace ostrane
