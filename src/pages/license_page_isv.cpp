#include "pages/license_page_isv.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "winui/link_tabbing.h"
#include "system/text_convert.h"
#include "res/resource.h"
#include "settings/configuration_manager.h"
#include "text/web_link.h"
#include "winui/fonts.h"
#include "winui/open_url.h"
#include "winui/rich_edit.h"

namespace ostrane {
namespace {

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to) {
  for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

struct UnicodeSource {
  std::wstring_view text;
  std::size_t offset = 0;  // in characters
};

DWORD CALLBACK ReadUnicode(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* written) {
  auto* source = reinterpret_cast<UnicodeSource*>(cookie);
  const std::size_t count =
      std::min(source->text.size() - source->offset, static_cast<std::size_t>(size) / sizeof(wchar_t));
  std::memcpy(buffer, source->text.data() + source->offset, count * sizeof(wchar_t));
  source->offset += count;
  *written = static_cast<LONG>(count * sizeof(wchar_t));
  return 0;
}

// RichEdit 1.0 is an ANSI window: SetWindowTextW would turn every character outside
// the ANSI code page into '?'. A Unicode stream keeps them.
void SetRichEditText(HWND richEdit, std::wstring_view text) {
  UnicodeSource source{text};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, &ReadUnicode};
  ::SendMessageW(richEdit, EM_STREAMIN, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
}

std::wstring RichEditRange(HWND richEdit, const CHARRANGE& range) {
  if (range.cpMax <= range.cpMin) return {};
  const auto length = static_cast<std::size_t>(range.cpMax - range.cpMin);
  // The text comes back in the window's own character set.
  if (::IsWindowUnicode(richEdit)) {
    std::wstring text(length + 1, L'\0');
    TEXTRANGEW request{range, text.data()};
    text.resize(static_cast<std::size_t>(
        ::SendMessageW(richEdit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&request))));
    return text;
  }
  std::string text(length + 1, '\0');
  TEXTRANGEA request{range, text.data()};
  text.resize(static_cast<std::size_t>(
      ::SendMessageW(richEdit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&request))));
  return AnsiToWide(text);
}

}  // namespace

LicensePageIsv::LicensePageIsv(std::shared_ptr<LanguageManager> languages)
    : IPage(std::move(languages), IDD_LICENSE_PAGE) {
  // The EULA's control needs its library before the template is made; without it
  // the page cannot be created, which the wizard reports.
  win::LoadRichEditLibrary();
}

bool LicensePageIsv::OnInitDialog() {
  IPage::OnInitDialog();
  HWND eula = Item(IDC_LICENSE_EULA);
  // Before the text arrives: the control marks URLs as it takes the text in.
  ::SendMessageW(eula, EM_AUTOURLDETECT, TRUE, 0);
  const auto events = ::SendMessageW(eula, EM_GETEVENTMASK, 0, 0);
  ::SendMessageW(eula, EM_SETEVENTMASK, 0, events | ENM_LINK);
  linkBrush_.reset(::CreateSolidBrush(ConfigurationManager::Instance()->m_backgroundColour));

  BindText(IDC_LICENSE_TITLE, "LICENSE_TITLE");
  BindText(IDC_LICENSE_TEXT, "LICENSE_TEXT");
  // The EULA (IDC_LICENSE_EULA) is set by ApplyTexts below, not through a binding.
  BindText(IDC_LICENSE_DISCLAIMER, "LICENSE_DISCLAIMER");
  BindText(IDC_AGREE, "BUTTON_AGREE");
  BindText(IDC_BACK, "BUTTON_BACK");
  BindText(IDC_TITLE_TEXT, "PRODUCT_TITLE");  // not on this template: skipped
  ApplyTexts();
  FillDisclaimerUrls();
  win::LetTabLeaveLinks(Item(IDC_LICENSE_DISCLAIMER));

  titleFont_ = win::ApplyDerivedFont(Item(IDC_LICENSE_TITLE), 12, 1000);
  // Enter agrees.
  ::SendMessageW(hwnd(), DM_SETDEFID, IDC_AGREE, 0);
  return true;
}

void LicensePageIsv::ApplyTexts() {
  IPage::ApplyTexts();
  if (hwnd() == nullptr) return;
  const std::wstring eula = languages()->GetText("LICENSE_EULA");
  if (!eula.empty()) SetRichEditText(Item(IDC_LICENSE_EULA), eula);
}

void LicensePageIsv::FillDisclaimerUrls() {
  HWND disclaimer = Item(IDC_LICENSE_DISCLAIMER);
  std::wstring text = WindowText(disclaimer);
  const auto settings = ConfigurationManager::Instance();
  ReplaceAll(text, L"[LICENSE_TOS_URL]", EscapeLinkUrl(settings->m_termsUrl));
  ReplaceAll(text, L"[LICENSE_PRIVACY_URL]", EscapeLinkUrl(settings->m_privacyUrl));
  ::SetWindowTextW(disclaimer, text.c_str());
}

bool LicensePageIsv::OnCommand(int id, int notifyCode, HWND control) {
  if (ReportClick(id, notifyCode, {{IDC_AGREE, ButtonType::Next}, {IDC_BACK, ButtonType::Back}})) return true;
  return IPage::OnCommand(id, notifyCode, control);
}

std::optional<LRESULT> LicensePageIsv::OnNotify(NMHDR* header) {
  if (header->idFrom == IDC_LICENSE_DISCLAIMER && (header->code == NM_CLICK || header->code == NM_RETURN)) {
    // The link's URL, not its index: Wine reports wrong indices.
    const auto* link = reinterpret_cast<const NMLINK*>(header);
    if (link->item.szUrl[0] != L'\0') win::OpenUrl(link->item.szUrl);
    return 0;
  }
  if (header->idFrom == IDC_LICENSE_EULA && header->code == EN_LINK) {
    const auto* link = reinterpret_cast<const ENLINK*>(header);
    if (link->msg == WM_LBUTTONUP) win::OpenUrl(RichEditRange(header->hwndFrom, link->chrg));
    return 0;  // the control goes on with the mouse message
  }
  return IPage::OnNotify(header);
}

HBRUSH LicensePageIsv::OnCtlColorHook(HDC dc, HWND control, UINT type) {
  if (control != nullptr && ::GetDlgCtrlID(control) == IDC_LICENSE_DISCLAIMER) {
    ::SetBkMode(dc, TRANSPARENT);
    return linkBrush_.get();
  }
  return IPage::OnCtlColorHook(dc, control, type);
}

}  // namespace ostrane
