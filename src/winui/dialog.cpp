#include "winui/dialog.h"

#include <exception>
#include <string_view>

namespace ostrane::win {

Dialog::~Dialog() {
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    ::DestroyWindow(hwnd_);
  }
}

INT_PTR Dialog::DoModal(HWND parent) {
  modal_ = true;
  modalRunning_ = true;
  modalResult_ = -1;
  const bool disableParent = parent != nullptr && ::IsWindowEnabled(parent);
  if (disableParent) ::EnableWindow(parent, FALSE);

  // EndDialog may already be called during WM_INITDIALOG: then the window never shows.
  HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                                     &Dialog::Procedure, reinterpret_cast<LPARAM>(this));
  if (window != nullptr && modalRunning_) {
    ::ShowWindow(window, SW_SHOW);
    MSG message;
    while (modalRunning_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (PreTranslateKeyboard(message)) continue;
      if (::IsDialogMessageW(window, &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  if (disableParent) ::EnableWindow(parent, TRUE);
  if (window != nullptr) {
    // Give the activation back to the parent before the window goes.
    if (parent != nullptr) ::SetActiveWindow(parent);
    ::DestroyWindow(window);
  }
  return window == nullptr ? -1 : modalResult_;
}

bool Dialog::PreTranslateKeyboard(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  // Child dialogs (pages) first, up to but not including the top-level window.
  for (HWND window = message.hwnd; window != nullptr; window = ::GetParent(window)) {
    if ((::GetWindowLongW(window, GWL_STYLE) & WS_CHILD) == 0) break;
    wchar_t className[8] = {};
    ::GetClassNameW(window, className, 8);
    if (std::wstring_view(className) == L"#32770" && ::IsDialogMessageW(window, &message)) return true;
  }
  return false;
}

bool Dialog::Create(HWND parent) {
  modal_ = false;
  return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                              &Dialog::Procedure, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
  if (!modal_ || !modalRunning_) return;
  modalResult_ = result;
  modalRunning_ = false;
  ::PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the modal loop
}

void Dialog::SetBackgroundColour(COLORREF colour) {
  backgroundBrush_.reset(::CreateSolidBrush(colour));
  if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

bool Dialog::OnCommand(int id, int notifyCode, HWND control) {
  if (control != nullptr && notifyCode != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

HBRUSH Dialog::OnCtlColor(HDC dc, HWND, UINT type) {
  if (!backgroundBrush_) return nullptr;
  if (type == CTLCOLOR_DLG) return backgroundBrush_.get();
  if (type == CTLCOLOR_STATIC || type == CTLCOLOR_BTN) {
    ::SetBkMode(dc, TRANSPARENT);
    return backgroundBrush_.get();
  }
  return nullptr;
}

namespace {
std::optional<bool> g_highContrastOverride;
}  // namespace

void OverrideHighContrast(std::optional<bool> on) { g_highContrastOverride = on; }

bool HighContrastOn() {
  if (g_highContrastOverride) return *g_highContrastOverride;
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
  }
  if (self == nullptr) return FALSE;
  try {
    INT_PTR result = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  } catch (const std::exception& e) {
    ::OutputDebugStringA(e.what());
  } catch (...) {
    ::OutputDebugStringW(L"unknown exception in a dialog procedure");
  }
  return FALSE;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_NOTIFY:
      if (auto result = OnNotify(reinterpret_cast<NMHDR*>(lParam))) {
        ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, *result);
        return TRUE;
      }
      return FALSE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
      // In high contrast every text keeps the system's colours: our own background,
      // band and link colours would leave the theme's light text on light ground.
      if (HighContrastOn()) return FALSE;
      // These return the brush itself, not through DWLP_MSGRESULT.
      return reinterpret_cast<INT_PTR>(OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                                  message - WM_CTLCOLORMSGBOX));
    default:
      break;
  }
  if (auto result = OnMessage(message, wParam, lParam)) {
    if (message == WM_QUERYDRAGICON || message == WM_CHARTOITEM || message == WM_COMPAREITEM ||
        message == WM_VKEYTOITEM) {
      return *result;
    }
    ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, *result);
    return TRUE;
  }
  return FALSE;
}

}  // namespace ostrane::win
