// Dialog base over raw Win32: a dialog procedure that stores `this` at
// WM_INITDIALOG and forwards to virtual handlers. No exception leaves the procedure.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "winui/unique_handle.h"

namespace ostrane::win {

// Whether Windows runs in high contrast: then every dialog leaves its colours to the
// system (its own background and colour hooks are not asked).
bool HighContrastOn();
// Tests on systems that cannot switch high contrast (Wine 8 ignores
// SPI_SETHIGHCONTRAST) decide the answer here; nothing: the system's.
void OverrideHighContrast(std::optional<bool> on);

class Dialog {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally with our own message loop, so that keyboard input goes
  // to the innermost dialog first (a page's default button answers Enter); returns
  // the value given to EndDialog, or -1 when the window could not be created.
  INT_PTR DoModal(HWND parent);
  // Creates the dialog as a modeless window (pages are modeless children).
  bool Create(HWND parent);

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  void SetItemText(int id, const std::wstring& text) { ::SetDlgItemTextW(hwnd_, id, text.c_str()); }
  void EndDialog(INT_PTR result);
  // Paints the dialog and its static controls on this colour (0x00BBGGRR).
  void SetBackgroundColour(COLORREF colour);

 protected:
  // Returning true lets the system give the focus to the first control.
  virtual bool OnInitDialog() { return true; }
  // WM_COMMAND; true when handled.
  virtual bool OnCommand(int id, int notifyCode, HWND control);
  // WM_NOTIFY; a value is the notification's result.
  virtual std::optional<LRESULT> OnNotify(NMHDR*) { return std::nullopt; }
  // WM_CTLCOLOR*: the brush for the control (the background brush for statics and
  // the dialog itself when a background colour is set).
  virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT type);
  // Any other message; nullopt leaves it to the default handling.
  virtual std::optional<INT_PTR> OnMessage(UINT, WPARAM, LPARAM) { return std::nullopt; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  // Offers a keyboard message to the dialogs around its window, innermost first.
  static bool PreTranslateKeyboard(MSG& message);

  int templateId_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;
  bool modalRunning_ = false;
  INT_PTR modalResult_ = -1;
  UniqueBrush backgroundBrush_;
};

}  // namespace ostrane::win
