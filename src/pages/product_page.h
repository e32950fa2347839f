// One partner offer: its picture, a disclaimer naming it with its license and privacy
// links, and Accept, Decline and Skip All. The wizard decides what comes next.
#pragma once

#include <memory>

#include "flow/ipage.h"
#include "winui/static_from_image.h"
#include "campaign/package.h"

namespace ostrane {

class ProductPage : public IPage {
 public:
  ProductPage(std::shared_ptr<LanguageManager> languages, std::shared_ptr<Package> package);
  // Records the offer as shown: its quit event and registry marker depend on it.
  // The keyboard focus goes to the disclaimer, and for the system's double-click
  // time the buttons take no clicks: the second click of a double-click on the
  // page before (Agree and Accept sit at the same place) answers nothing.
  void OnNavigateToPage() override;
  std::wstring GetPageName() const override { return L"ProductPage"; }
  HBRUSH OnCtlColorHook(HDC dc, HWND control, UINT type) override;

  const std::shared_ptr<Package>& package() const { return m_package; }

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  std::optional<LRESULT> OnNotify(NMHDR* header) override;

 private:
  void FillInDisclaimer();
  // Whether a click now is one the user meant for this page.
  bool TakesClicks() const;

  std::shared_ptr<Package> m_package;
  CStaticFromImage m_image;
  win::UniqueBrush m_brush;
  DWORD m_shownAt = 0;  // GetTickCount when the wizard showed the page; 0: never
  bool m_shown = false;
};

}  // namespace ostrane
