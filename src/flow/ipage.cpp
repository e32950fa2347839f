#include "flow/ipage.h"

#include "settings/configuration_manager.h"
#include "res/resource.h"

namespace ostrane {

IPage::IPage(std::shared_ptr<LanguageManager> languages, int templateId)
    : Dialog(templateId), languages_(std::move(languages)) {
  bandBrush_.reset(::CreateSolidBrush(ConfigurationManager::Instance()->m_accentColour));
  languages_->RegisterPage(this);
}

IPage::~IPage() { languages_->UnregisterPage(this); }

void IPage::OnCancel() {
  HWND window = ::GetAncestor(hwnd(), GA_ROOT);
  if (window == nullptr || window == hwnd()) return;
  const UINT close = ::GetMenuState(::GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
  if (close == static_cast<UINT>(-1) || (close & (MF_DISABLED | MF_GRAYED)) != 0) return;
  // The same path as the title bar's button and Alt+F4.
  ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool IPage::OnInitDialog() {
  // The window text names the page; a child dialog never shows it, but tools can read it.
  ::SetWindowTextW(hwnd(), GetPageName().c_str());
  return true;
}

void IPage::ApplyTexts() {
  if (hwnd() == nullptr) return;
  for (const TextBinding& binding : bindings_) {
    HWND control = Item(binding.controlId);
    if (control == nullptr) continue;
    const std::wstring text = languages_->GetText(binding.key);
    if (!text.empty()) ::SetWindowTextW(control, text.c_str());
  }
}

HBRUSH IPage::OnCtlColorHook(HDC dc, HWND control, UINT type) {
  if (control != nullptr && ::GetDlgCtrlID(control) == IDC_PAGE_BAND) {
    ::SetBkMode(dc, TRANSPARENT);
    return bandBrush_.get();
  }
  return Dialog::OnCtlColor(dc, control, type);
}

void IPage::ReportButton(ButtonType button) {
  if (buttonHandler_) buttonHandler_(button);
}

bool IPage::ReportClick(int id, int notifyCode, std::initializer_list<std::pair<int, ButtonType>> buttons) {
  if (notifyCode != BN_CLICKED) return false;
  for (const auto& [buttonId, button] : buttons) {
    if (buttonId == id) {
      ReportButton(button);
      return true;
    }
  }
  return false;
}

void IPage::ReportError(const std::wstring& title, const std::wstring& text) {
  if (errorHandler_) errorHandler_(title, text);
}

}  // namespace ostrane
