// The welcome page: the product's picture, title and greeting, links to the
// privacy policy, the terms and the SDK license, and Next.
#pragma once

#include "flow/ipage.h"
#include "winui/static_from_image.h"
#include "winui/link_button.h"

namespace ostrane {

class WelcomePageIsv : public IPage {
 public:
  explicit WelcomePageIsv(std::shared_ptr<LanguageManager> languages);
  void OnNavigateToPage() override {}
  std::wstring GetPageName() const override { return L"WelcomePage"; }
  // Links are sized to their texts again, which change with the language.
  void ApplyTexts() override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;

 private:
  CStaticFromImage image_;
  win::LinkButton privacyLink_;
  win::LinkButton termsLink_;
  win::LinkButton sdkLink_;
};

}  // namespace ostrane
