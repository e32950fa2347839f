#include "pages/error_page.h"

#include "res/resource.h"
#include "settings/configuration_manager.h"

namespace ostrane {

ErrorPage::ErrorPage(std::shared_ptr<LanguageManager> languages) : IPage(std::move(languages), IDD_ERROR_PAGE) {}

bool ErrorPage::OnInitDialog() {
  IPage::OnInitDialog();
  image_.Attach(Item(IDC_PAGE_IMAGE));
  image_.SetName(ConfigurationManager::Instance()->m_productName);
  image_.LoadFromResource(IDR_IMAGE_ERROR, L"IMAGE_BLOB3");
  BindText(IDC_CLOSE, "BUTTON_CLOSE");
  ApplyTexts();
  return true;
}

void ErrorPage::SetTexts(const std::wstring& title, const std::wstring& text) {
  title_ = title;
  text_ = text;
  SetItemText(IDC_ERROR_TITLE, title_);
  SetItemText(IDC_ERROR_TEXT, text_);
}

bool ErrorPage::OnCommand(int id, int notifyCode, HWND control) {
  if (ReportClick(id, notifyCode, {{IDC_CLOSE, ButtonType::Close}})) return true;
  return IPage::OnCommand(id, notifyCode, control);
}

}  // namespace ostrane
