// The wizard's only top-level window. It draws the frame (header, bottom band),
// creates the pages as modeless children over one placeholder, shows one at a time
// and moves between them as the pages report buttons. It also owns the single-
// instance guard, the exit question, the error page and the temp-folder clean-up.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "settings/configuration_manager.h"
#include "flow/ipage.h"
#include "flow/offer_flow.h"
#include "flow/page_flow.h"
#include "winui/static_from_image.h"
#include "locale/language_manager.h"
#include "locale/win32_locale_platform.h"
#include "pages/loading_page.h"
#include "winui/dialog.h"
#include "winui/unique_handle.h"

namespace ostrane {

class ErrorPage;

class COstraneDlg : public win::Dialog {
 public:
  COstraneDlg();
  ~COstraneDlg() override;

  bool CreateInitialPages();
  // Creates the page's window over the placeholder, hidden, with the button callback.
  bool CreatePage(IPage& page, const RECT& placeholder);
  // CreatePage, then the error callback, then appends the page to the flow.
  void CreateAndAddPage(std::unique_ptr<IPage> page, const RECT& placeholder);
  void OnButton(ButtonType button);
  // The offer flow: how many of the offer pages after the current one to pass over.
  int CountSkippedOffers();
  void NavigateTo(int index);
  void ShowErrorPage(const std::wstring& title, const std::wstring& text);
  LRESULT OnLoadCompleteMessage(WPARAM wParam, LPARAM lParam);

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
  RECT PlaceholderRect() const;
  // Moves the top of the wizard's bottom band to the top of the page's band.
  void AlignBottomBand(HWND page);
  void UpdateSystemMenu(SystemMenuChange change);
  void OnSysCommand(WPARAM command);
  bool PaintMinimised();
  // The first Next: the main product's package and its start event.
  void CreateMainPackage();
  void OnClose();
  // Finish, or the error page's Close: the window goes, then the wizard waits for the
  // pages' work in flight and the events on their way before the folder goes.
  void EndAfterLastPage(int result, bool cleanUpWorkFolder);
  // Hides the window, lets a new instance start, drops the offers' hand-over and lets
  // every page end or wait for its work on other threads.
  void LeaveTheScreen();

  // How long the hidden window waits for the last events: two attempts with the pause
  // between them, each well within the time a reachable server takes to answer.
  static constexpr std::chrono::seconds kLastEventsBound{30};

  HICON icon_ = nullptr;  // shared resource icon, not destroyed
  win::UniqueKernelHandle singleInstanceMutex_;
  win::UniqueBrush bandBrush_;

  Win32LocalePlatform localePlatform_;
  std::shared_ptr<LanguageManager> languages_;  // outlives the pages, which unregister from it
  std::unique_ptr<ErrorPage> errorPage_;
  std::vector<std::unique_ptr<IPage>> pages_;
  PageFlow flow_;
  // The loading page hands the offers over on a worker thread, possibly after the
  // wizard has gone: the hand-over and the window it posts to live apart from it.
  struct LoadHandOver {
    std::mutex mutex;
    HWND window = nullptr;  // null once the wizard is going away
    LoadedOffers loaded;
  };
  std::shared_ptr<LoadHandOver> handOver_ = std::make_shared<LoadHandOver>();
  OfferFlow offerFlow_;  // the offer list and the offer-flow state
  CStaticFromImage headerImage_;
  bool installing_ = false;
};

}  // namespace ostrane
