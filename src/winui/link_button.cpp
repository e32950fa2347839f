#include "winui/link_button.h"

#include <commctrl.h>

#include "winui/dpi.h"
#include "winui/link_accessible.h"
#include "winui/open_url.h"

namespace ostrane::win {
namespace {

// Room between the text and the focus rectangle, in pixels at 96 DPI.
constexpr int kMarginX = 2;
constexpr int kMarginY = 1;
constexpr UINT kTextFormat = DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_VCENTER;

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

LinkButton::~LinkButton() { Detach(); }

void LinkButton::Attach(HWND button) {
  Detach();
  if (button == nullptr) return;
  button_ = button;
  parent_ = ::GetParent(button);
  const auto id = reinterpret_cast<UINT_PTR>(this);
  ::SetWindowSubclass(button_, &LinkButton::ButtonProcedure, id, reinterpret_cast<DWORD_PTR>(this));
  // One subclass per link: several links may share a parent.
  if (parent_ != nullptr)
    ::SetWindowSubclass(parent_, &LinkButton::ParentProcedure, id, reinterpret_cast<DWORD_PTR>(this));
  ::InvalidateRect(button_, nullptr, TRUE);
}

void LinkButton::Detach() {
  const auto id = reinterpret_cast<UINT_PTR>(this);
  if (button_ != nullptr) ::RemoveWindowSubclass(button_, &LinkButton::ButtonProcedure, id);
  if (parent_ != nullptr) ::RemoveWindowSubclass(parent_, &LinkButton::ParentProcedure, id);
  button_ = nullptr;
  parent_ = nullptr;
}

HFONT LinkButton::LinkFont() {
  auto font = reinterpret_cast<HFONT>(::SendMessageW(button_, WM_GETFONT, 0, 0));
  if (linkFont_ && font == linkFontSource_) return linkFont_.get();
  // Without a font of its own a button draws in the system font.
  LOGFONTW description{};
  ::GetObjectW(font != nullptr ? font : static_cast<HFONT>(::GetStockObject(SYSTEM_FONT)), sizeof description,
               &description);
  description.lfUnderline = TRUE;
  linkFont_.reset(::CreateFontIndirectW(&description));
  linkFontSource_ = font;
  return linkFont_.get();
}

void LinkButton::SizeToText() {
  if (button_ == nullptr) return;
  const std::wstring text = WindowText(button_);
  RECT extent{};
  HDC dc = ::GetDC(button_);
  HGDIOBJ previous = ::SelectObject(dc, LinkFont());
  // Without DT_VCENTER, which would move the measured rectangle up by half a line.
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent, (kTextFormat & ~DT_VCENTER) | DT_CALCRECT);
  ::SelectObject(dc, previous);
  ::ReleaseDC(button_, dc);
  ::SetWindowPos(button_, nullptr, 0, 0, extent.right - extent.left + 2 * ScaleForDpi(button_, kMarginX),
                 extent.bottom - extent.top + 2 * ScaleForDpi(button_, kMarginY),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(button_, nullptr, TRUE);
}

void LinkButton::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(button_, &client);
  // The parent's brush for its buttons is its background: the link looks transparent.
  auto brush = reinterpret_cast<HBRUSH>(
      ::SendMessageW(parent_, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(button_)));
  ::FillRect(dc, &client, brush != nullptr ? brush : ::GetSysColorBrush(COLOR_BTNFACE));

  const std::wstring text = WindowText(button_);
  HGDIOBJ previous = ::SelectObject(dc, LinkFont());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(::IsWindowEnabled(button_) ? COLOR_HOTLIGHT : COLOR_GRAYTEXT));
  RECT textRect = client;
  ::InflateRect(&textRect, -ScaleForDpi(button_, kMarginX), -ScaleForDpi(button_, kMarginY));
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, kTextFormat);
  ::SelectObject(dc, previous);

  const bool focusHidden = (::SendMessageW(button_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
  if (::GetFocus() == button_ && !focusHidden) ::DrawFocusRect(dc, &client);
}

LRESULT CALLBACK LinkButton::ButtonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<LinkButton*>(data);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      self->Paint(dc);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      self->Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills the whole control
    case WM_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_GETOBJECT:
      // A screen reader hears a link, not a push button.
      if (const LRESULT link = AnswerAsLink(window, wParam, lParam); link != 0) return link;
      break;
    case WM_GETDLGCODE: {
      // A button leaves Enter to the dialog, which would press its default button.
      LRESULT code = ::DefSubclassProc(window, message, wParam, lParam);
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key != nullptr && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN:
      // Bit 30: the key was already down, an auto-repeat opens nothing more.
      if (wParam == VK_RETURN && (lParam & (1 << 30)) == 0) {
        ::SendMessageW(self->parent_, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(window), BN_CLICKED),
                       reinterpret_cast<LPARAM>(window));
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_SETFONT:
    case WM_UPDATEUISTATE: {
      const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
      ::InvalidateRect(window, nullptr, TRUE);
      return result;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(window, &LinkButton::ButtonProcedure, reinterpret_cast<UINT_PTR>(self));
      self->button_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK LinkButton::ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<LinkButton*>(data);
  switch (message) {
    case WM_COMMAND:
      // Passed on afterwards: the page may want to know of the click too.
      if (self->button_ != nullptr && reinterpret_cast<HWND>(lParam) == self->button_ && HIWORD(wParam) == BN_CLICKED)
        OpenUrl(self->url_);
      break;
    case WM_DRAWITEM:
      // Focus and press changes still ask the parent to draw; WM_PAINT already did.
      if (self->button_ != nullptr && reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem == self->button_)
        return TRUE;
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(window, &LinkButton::ParentProcedure, reinterpret_cast<UINT_PTR>(self));
      self->parent_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace ostrane::win
