#include "winui/dialog.h"

#include <exception>

namespace ostrane::win {

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? copied : 0);
  return text;
}

Dialog::~Dialog() {
  if (hwnd_ != nullptr && !modal_) {
    ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    ::DestroyWindow(hwnd_);
  }
}

INT_PTR Dialog::DoModal(HWND parent) {
  modal_ = true;
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent, &Dialog::Procedure,
                           reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent) {
  modal_ = false;
  return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                              &Dialog::Procedure, reinterpret_cast<LPARAM>(this)) != nullptr;
}

std::wstring Dialog::ItemText(int id) const { return WindowText(Item(id)); }

void Dialog::EndDialog(INT_PTR result) {
  if (hwnd_ != nullptr && modal_) ::EndDialog(hwnd_, result);
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
