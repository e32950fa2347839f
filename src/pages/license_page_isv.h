// The license page of the ISV wizard: the EULA in a read-only rich edit whose URLs
// can be clicked, a disclaimer whose links lead to the terms and the privacy
// policy, Agree and Back.
#pragma once

#include "flow/ipage.h"

namespace ostrane {

class LicensePageIsv : public IPage {
 public:
  explicit LicensePageIsv(std::shared_ptr<LanguageManager> languages);
  void OnNavigateToPage() override {}
  std::wstring GetPageName() const override { return L"LicensePage"; }
  void ApplyTexts() override;
  HBRUSH OnCtlColorHook(HDC dc, HWND control, UINT type) override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  std::optional<LRESULT> OnNotify(NMHDR* header) override;

 private:
  void FillDisclaimerUrls();

  win::UniqueBrush linkBrush_;
  win::UniqueFont titleFont_;
};

}  // namespace ostrane
