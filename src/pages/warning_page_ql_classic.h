// Classic mode's informational page after the loading page: a title, a subtitle,
// a text that may hold links (not followed), Next and Back.
#pragma once

#include "flow/ipage.h"

namespace ostrane {

class WarningPageQLClassic : public IPage {
 public:
  explicit WarningPageQLClassic(std::shared_ptr<LanguageManager> languages);
  void OnNavigateToPage() override {}
  std::wstring GetPageName() const override { return L"WarningPageQLClassic"; }
  HBRUSH OnCtlColorHook(HDC dc, HWND control, UINT type) override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;

 private:
  win::UniqueBrush linkBrush_;
  win::UniqueFont titleFont_;
};

}  // namespace ostrane
