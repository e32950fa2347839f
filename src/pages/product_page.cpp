#include "pages/product_page.h"

#include <commctrl.h>

#include "winui/link_tabbing.h"
#include "system/text_convert.h"
#include "flow/offer_flow.h"
#include "res/resource.h"
#include "settings/configuration_manager.h"
#include "text/web_link.h"
#include "winui/open_url.h"

namespace ostrane {
namespace {

void ReplaceAll(std::wstring& text, const std::wstring& token, const std::wstring& value) {
  for (auto pos = text.find(token); pos != std::wstring::npos; pos = text.find(token, pos + value.size()))
    text.replace(pos, token.size(), value);
}

}  // namespace

ProductPage::ProductPage(std::shared_ptr<LanguageManager> languages, std::shared_ptr<Package> package)
    : IPage(std::move(languages), IDD_PRODUCT_PAGE), m_package(std::move(package)) {}

bool ProductPage::OnInitDialog() {
  IPage::OnInitDialog();
  const auto settings = ConfigurationManager::Instance();
  m_brush.reset(::CreateSolidBrush(settings->m_backgroundColour));

  // No Skip All where nothing could follow: the last offer the rules kept, or an
  // offer whose own "mo" limit ends the flow after it.
  if (!OfferPageShowsSkipAll(m_package->m_position, settings->m_acceptedByRules, m_package->m_showLimits.maxOnly))
    ::ShowWindow(Item(IDC_SKIP_ALL), SW_HIDE);

  m_image.Attach(Item(IDC_OFFER_IMAGE));
  m_image.SetImage(m_package->m_image);
  m_image.SetName(AnsiToWide(m_package->m_displayName));

  BindText(IDC_ACCEPT, "BUTTON_ACCEPT");
  BindText(IDC_DECLINE, "BUTTON_DECLINE");
  BindText(IDC_SKIP_ALL, "BUTTON_SKIP_ALL");
  BindText(IDC_OFFER_DISCLAIMER, "PRODUCT_DISCLAIMER");
  ApplyTexts();
  FillInDisclaimer();
  win::LetTabLeaveLinks(Item(IDC_OFFER_DISCLAIMER));
  // No default button: Enter must never accept a partner's program. Enter and
  // Space act on Accept or Decline only when that button has the focus.
  return true;
}

void ProductPage::FillInDisclaimer() {
  HWND link = Item(IDC_OFFER_DISCLAIMER);
  const int length = ::GetWindowTextLengthW(link);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::GetWindowTextW(link, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  // The campaign's values go into link markup: they may show, not add links.
  ReplaceAll(text, L"[PACKAGE_NAME]", EscapeLinkText(AnsiToWide(m_package->m_displayName)));
  ReplaceAll(text, L"[PACKAGE_PRIVACY_URL]", EscapeLinkUrl(AnsiToWide(m_package->m_privacyUrl)));
  ReplaceAll(text, L"[PACKAGE_EULA_URL]", EscapeLinkUrl(AnsiToWide(m_package->m_termsUrl)));
  ::SetWindowTextW(link, text.c_str());
}

void ProductPage::OnNavigateToPage() {
  ConfigurationManager::Instance()->m_shownPackages.push_back(m_package);
  m_shownAt = ::GetTickCount();
  m_shown = true;
  ::SetFocus(Item(IDC_OFFER_DISCLAIMER));
}

bool ProductPage::TakesClicks() const {
  // Unsigned subtraction: right across the tick count's wrap after 49.7 days.
  return !m_shown || ::GetTickCount() - m_shownAt >= ::GetDoubleClickTime();
}

bool ProductPage::OnCommand(int id, int notifyCode, HWND control) {
  if (notifyCode != BN_CLICKED) return IPage::OnCommand(id, notifyCode, control);
  const bool answer = id == IDC_ACCEPT || id == IDC_DECLINE || id == IDC_SKIP_ALL;
  if (answer && !TakesClicks()) return true;  // the tail of a click meant for the page before
  const auto settings = ConfigurationManager::Instance();
  switch (id) {
    case IDC_ACCEPT:
      settings->m_acceptedPackages.push_back(m_package);
      ReportButton(ButtonType::Accept);
      return true;
    case IDC_DECLINE:
    case IDC_SKIP_ALL:
      settings->m_offerDeclined = true;
      m_package->SendEvent(kEventDeclined, nlohmann::json::object());
      ReportButton(id == IDC_DECLINE ? ButtonType::Decline : ButtonType::SkipAll);
      return true;
    default:
      return IPage::OnCommand(id, notifyCode, control);
  }
}

std::optional<LRESULT> ProductPage::OnNotify(NMHDR* header) {
  if (header->idFrom == IDC_OFFER_DISCLAIMER && (header->code == NM_CLICK || header->code == NM_RETURN)) {
    // The item's URL, not its index: Wine numbers the links wrongly.
    const auto* link = reinterpret_cast<NMLINK*>(header);
    win::OpenUrl(link->item.szUrl);
    return 0;
  }
  return IPage::OnNotify(header);
}

HBRUSH ProductPage::OnCtlColorHook(HDC dc, HWND control, UINT type) {
  if (control != nullptr && ::GetDlgCtrlID(control) == IDC_OFFER_DISCLAIMER) {
    ::SetBkMode(dc, TRANSPARENT);
    return m_brush.get();
  }
  return IPage::OnCtlColorHook(dc, control, type);
}

}  // namespace ostrane
