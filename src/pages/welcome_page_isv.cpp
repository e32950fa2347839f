#include "pages/welcome_page_isv.h"

#include <initializer_list>

#include "res/resource.h"
#include "settings/configuration_manager.h"
#include "settings/wizard_type.h"

namespace ostrane {

WelcomePageIsv::WelcomePageIsv(std::shared_ptr<LanguageManager> languages)
    : IPage(std::move(languages), IDD_WELCOME_PAGE) {}

bool WelcomePageIsv::OnInitDialog() {
  IPage::OnInitDialog();
  const auto settings = ConfigurationManager::Instance();
  const bool dlm = settings->m_wizardType == kWizardDlm;

  image_.Attach(Item(IDC_PAGE_IMAGE));
  image_.SetName(ConfigurationManager::Instance()->m_productName);
  // The DLM wizard shows the logo its campaign sent.
  if (dlm) {
    image_.SetImage(settings->m_logoImage);
  } else {
    image_.LoadFromResource(IDR_IMAGE_PRODUCT, L"IMAGE_BLOB");
  }

  BindText(IDC_WELCOME_TITLE, "WELCOME_TITLE");
  BindText(IDC_TITLE_TEXT, "PRODUCT_TITLE");
  BindText(IDC_WELCOME_TEXT, "WELCOME_TEXT");
  BindText(IDC_NEXT, "BUTTON_NEXT");
  BindText(IDC_PRIVACY_LINK, "PRIVACY_LINK");
  BindText(IDC_TERMS_LINK, dlm ? "TOS_LINK" : "EULA_LINK");
  BindText(IDC_SDK_LINK, "SDK_LINK");
  privacyLink_.Attach(Item(IDC_PRIVACY_LINK));
  termsLink_.Attach(Item(IDC_TERMS_LINK));
  sdkLink_.Attach(Item(IDC_SDK_LINK));
  ApplyTexts();

  privacyLink_.SetUrl(settings->m_privacyUrl);
  termsLink_.SetUrl(settings->m_termsUrl);
  sdkLink_.SetUrl(settings->m_sdkLicenseUrl);
  for (const win::LinkButton* link : {&privacyLink_, &termsLink_, &sdkLink_}) {
    if (link->Url().empty()) ::ShowWindow(link->hwnd(), SW_HIDE);
  }
  // Enter presses Next (a focused link opens itself instead).
  ::SendMessageW(hwnd(), DM_SETDEFID, IDC_NEXT, 0);
  return true;
}

void WelcomePageIsv::ApplyTexts() {
  IPage::ApplyTexts();
  for (win::LinkButton* link : {&privacyLink_, &termsLink_, &sdkLink_}) link->SizeToText();
}

bool WelcomePageIsv::OnCommand(int id, int notifyCode, HWND control) {
  if (ReportClick(id, notifyCode, {{IDC_NEXT, ButtonType::Next}})) return true;
  return IPage::OnCommand(id, notifyCode, control);
}

}  // namespace ostrane
