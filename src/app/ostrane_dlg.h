// The wizard's only top-level window: the frame (header, bottom band), the
// single-instance guard, the system menu and the exit path.
#pragma once

#include <string>

#include "winui/dialog.h"
#include "winui/unique_handle.h"

namespace ostrane {

class COstraneDlg : public win::Dialog {
 public:
  COstraneDlg();
  ~COstraneDlg() override;

  // Deletes the settings' work folder and everything in it.
  static void CleanUpTempFolder();

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT type) override;
  std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnOK() override {}

  // The colour hook behind WM_CTLCOLOR*: the bottom band gets the accent brush.
  virtual HBRUSH OnCtlColorHook(HDC dc, HWND control, UINT type);

 private:
  // Returns false when another instance runs or the wizard type is unusable;
  // the dialog has then been ended.
  bool PassesStartChecks();
  void SetUpWindow();
  void OnSysCommand(WPARAM command);
  bool PaintMinimised();
  void OnClose();

  HICON icon_ = nullptr;  // shared resource icon, not destroyed
  win::UniqueKernelHandle singleInstanceMutex_;
  win::UniqueBrush bandBrush_;
  bool errorShown_ = false;
  bool installing_ = false;
};

}  // namespace ostrane
