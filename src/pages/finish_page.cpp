#include "pages/finish_page.h"

#include <shellapi.h>

#include <string>

#include "res/resource.h"
#include "settings/configuration_manager.h"

namespace ostrane {
namespace {

void ShellOpen(const std::wstring& file, const std::wstring& parameters) {
  // The installer is done either way: a program that will not start is not its failure.
  ::ShellExecuteW(nullptr, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                  SW_SHOWDEFAULT);
}

// Explorer in the Windows folder: a bare name would be looked up along the search
// path, which starts in folders others may write to. The system's folder, as our
// image is not marked aware of Remote Desktop hosts, where GetWindowsDirectoryW
// would give the user's own private "Windows" folder.
std::wstring ExplorerPath() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring path(folder, length);
  if (path.back() != L'\\') path += L'\\';
  return path + L"explorer.exe";
}

}  // namespace

FinishPage::FinishPage(std::shared_ptr<LanguageManager> languages, int templateId, std::vector<TextBinding> choices,
                       int launchControl)
    : IPage(std::move(languages), templateId),
      choices_(std::move(choices)),
      launchControl_(launchControl),
      launch_(&ShellOpen) {}

bool FinishPage::OnInitDialog() {
  IPage::OnInitDialog();
  BindText(IDC_FINISH_TITLE, "PAGE_FINISH_TITLE");
  BindText(IDC_FINISH_TEXT, "PAGE_FINISH_TEXT");
  BindText(IDC_FINISH, "BUTTON_FINISH");
  for (const TextBinding& choice : choices_) BindText(choice.controlId, choice.key);
  ApplyTexts();
  // Starting the product is what most users want; they may opt out.
  ::SendMessageW(Item(launchControl_), BM_SETCHECK, BST_CHECKED, 0);
  image_.Attach(Item(IDC_PAGE_IMAGE));
  image_.SetName(ConfigurationManager::Instance()->m_productName);
  image_.LoadFromResource(IDR_IMAGE_FINISH, L"IMAGE_BLOB2");
  // Enter finishes.
  ::SendMessageW(hwnd(), DM_SETDEFID, IDC_FINISH, 0);
  return true;
}

void FinishPage::OnNavigateToPage() {
  HWND wizard = ::GetParent(hwnd());
  if (wizard == nullptr) return;
  ::SetWindowLongW(wizard, GWL_STYLE, ::GetWindowLongW(wizard, GWL_STYLE) & ~WS_MINIMIZEBOX);
  // The caption keeps its old buttons until the frame is drawn again.
  ::SetWindowPos(wizard, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool FinishPage::OnCommand(int id, int notifyCode, HWND control) {
  if (notifyCode == BN_CLICKED && id == IDC_FINISH) {
    LaunchChosen();
    ReportButton(ButtonType::Finish);
    return true;
  }
  return IPage::OnCommand(id, notifyCode, control);
}

void FinishPage::Launch(const std::wstring& file, const std::wstring& parameters) const {
  if (launch_) launch_(file, parameters);
}

bool FinishPage::IsChecked(int id) const { return ::IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; }

FinishPageIsv::FinishPageIsv(std::shared_ptr<LanguageManager> languages)
    : FinishPage(std::move(languages), IDD_FINISH_PAGE_ISV, {{IDC_LAUNCH_CHECKBOX, "LAUNCH_CHECKBOX"}},
                 IDC_LAUNCH_CHECKBOX) {}

void FinishPageIsv::LaunchChosen() {
  if (!IsChecked(IDC_LAUNCH_CHECKBOX)) return;
  const auto settings = ConfigurationManager::Instance();
  Launch(settings->ExpandPathPlaceholders(settings->m_launchPath), settings->m_launchArgs);
}

FinishPageDlm::FinishPageDlm(std::shared_ptr<LanguageManager> languages)
    : FinishPage(std::move(languages), IDD_FINISH_PAGE_DLM,
                 {{IDC_LAUNCH_RADIO, "LAUNCH_RADIO"}, {IDC_OPEN_FOLDER_RADIO, "OPEN_FOLDER_RADIO"}}, IDC_LAUNCH_RADIO) {
}

void FinishPageDlm::LaunchChosen() {
  const auto settings = ConfigurationManager::Instance();
  const std::wstring path = settings->m_mainResultPath;
  if (IsChecked(IDC_LAUNCH_RADIO)) {
    // Only a file that was checked (and is still held as it was) is opened.
    if (path.empty() || !settings->m_mainResultHold) return;
    Launch(path, {});
    settings->m_mainResultHold.reset();
  } else if (IsChecked(IDC_OPEN_FOLDER_RADIO)) {
    // Explorer opens the folder with the file selected; without the Windows folder
    // there is no Explorer to trust.
    if (const std::wstring explorer = ExplorerPath(); !explorer.empty())
      Launch(explorer, L"/select,\"" + path + L"\"");
  }
}

}  // namespace ostrane
