// A link that takes over an owner-drawn push button of a dialog: it draws the
// button's text underlined in the link colour on its parent's background, shows
// the hand cursor, and opens its URL when clicked, or on Space or Enter while it
// has the focus.
//
// It paints itself on WM_PAINT rather than answering the WM_DRAWITEM the button
// sends its parent, and it hears its own BN_CLICKED through a subclass of the
// parent: a page only attaches it and gives it a URL, with nothing to forward.
#pragma once

#include <windows.h>

#include <string>

#include "winui/unique_handle.h"

namespace ostrane::win {

class LinkButton {
 public:
  LinkButton() = default;
  ~LinkButton();
  LinkButton(const LinkButton&) = delete;
  LinkButton& operator=(const LinkButton&) = delete;

  // Takes over the button (we don't own the window). A button attached before is let go.
  void Attach(HWND button);
  void SetUrl(std::wstring url) { url_ = std::move(url); }
  const std::wstring& Url() const { return url_; }
  HWND hwnd() const { return button_; }
  // Resizes the button to its current text in its current font; the top-left stays.
  void SizeToText();

 private:
  static LRESULT CALLBACK ButtonProcedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR self) noexcept;
  static LRESULT CALLBACK ParentProcedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR self) noexcept;
  void Detach();
  void Paint(HDC dc);
  // The button's font, underlined; rebuilt when the button's font changes.
  HFONT LinkFont();

  HWND button_ = nullptr;
  HWND parent_ = nullptr;  // where BN_CLICKED arrives; we don't own it
  std::wstring url_;
  UniqueFont linkFont_;
  HFONT linkFontSource_ = nullptr;  // the button's font that linkFont_ was made from; not ours
};

}  // namespace ostrane::win
