#include "app/ostrane_dlg.h"

#include "app/about_dlg.h"
#include "app/configuration_manager.h"
#include "app/folder_tree.h"
#include "app/wizard_type.h"
#include "net/text_convert.h"
#include "res/resource.h"
#include "winui/message_box.h"

namespace ostrane {

COstraneDlg::COstraneDlg() : Dialog(IDD_OSTRANE_DIALOG) {
  icon_ = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

COstraneDlg::~COstraneDlg() {
  // GDI+ images must go before GDI+ itself shuts down at process exit.
  if (auto settings = ConfigurationManager::Instance()) settings->m_logoImage.reset();
}

bool COstraneDlg::OnInitDialog() {
  if (HMENU systemMenu = ::GetSystemMenu(hwnd(), FALSE)) {
    wchar_t about[128] = {};
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0) {
      ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  if (!PassesStartChecks()) return false;
  SetUpWindow();
  return true;
}

bool COstraneDlg::PassesStartChecks() {
  const std::wstring mutexName =
      L"Global\\Ostrane" + Utf8ToWide(CompiledBuildOptions().wizardTypeName) + L"SingleInstanceMutex";
  singleInstanceMutex_.reset(::CreateMutexW(nullptr, TRUE, mutexName.c_str()));
  if (singleInstanceMutex_ && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    singleInstanceMutex_.reset();
    win::MessageBoxFor(hwnd(), L"Another setup is already running, please close it and try again", L"Error",
                       MB_ICONERROR | MB_SYSTEMMODAL);
    EndDialog(1);
    return false;
  }
  // Without a mutex the wizard runs unguarded.

  const int wizardType = ConfigurationManager::Instance()->m_wizardType;
  if (wizardType != kWizardDlm && wizardType != kWizardIsv) {
    win::AppMessageBox(L"Invalid wizard type", MB_ICONERROR | MB_SYSTEMMODAL);
    EndDialog(1);
    return false;
  }
  return true;
}

void COstraneDlg::SetUpWindow() {
  auto settings = ConfigurationManager::Instance();
  const std::wstring caption = settings->m_wizardType == kWizardDlm ? L"Setup" : settings->m_productName + L" ";
  ::SetWindowTextW(hwnd(), caption.c_str());
  bandBrush_.reset(::CreateSolidBrush(settings->m_accentColour));
  SetItemText(IDC_TITLE_TEXT, settings->m_productName);

  if (settings->m_wizardType == kWizardIsv) {
    ::ShowWindow(Item(IDC_HEADER_IMAGE), SW_HIDE);
    ::ShowWindow(Item(IDC_HEADER_LINE), SW_HIDE);
  }
  ::ShowWindow(Item(IDC_TITLE_TEXT), SW_HIDE);
}

bool COstraneDlg::OnCommand(int id, int notifyCode, HWND control) {
  return Dialog::OnCommand(id, notifyCode, control);
}

HBRUSH COstraneDlg::OnCtlColor(HDC dc, HWND control, UINT type) { return OnCtlColorHook(dc, control, type); }

HBRUSH COstraneDlg::OnCtlColorHook(HDC dc, HWND control, UINT type) {
  if (control != nullptr && ::GetDlgCtrlID(control) == IDC_BOTTOM_BAND) {
    ::SetBkMode(dc, TRANSPARENT);
    return bandBrush_.get();
  }
  return Dialog::OnCtlColor(dc, control, type);
}

std::optional<INT_PTR> COstraneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnSysCommand(wParam);
        return 0;
      }
      return std::nullopt;
    case WM_PAINT:
      if (PaintMinimised()) return 0;
      return std::nullopt;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_CLOSE:
      OnClose();
      return 0;
    default:
      return std::nullopt;
  }
}

void COstraneDlg::OnSysCommand(WPARAM) {
  CAboutDlg about(ConfigurationManager::Instance()->m_fileVersion);
  about.DoModal(hwnd());
}

bool COstraneDlg::PaintMinimised() {
  if (!::IsIconic(hwnd())) return false;
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(hwnd(), &paint);
  ::SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(hwnd(), &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, icon_);
  ::EndPaint(hwnd(), &paint);
  return true;
}

void COstraneDlg::OnClose() {
  auto settings = ConfigurationManager::Instance();
  singleInstanceMutex_.reset();  // a new instance may start from now on
  ::ShowWindow(hwnd(), SW_HIDE);
  settings->m_closing = true;
  CleanUpTempFolder();
  OnCancel();
}

void COstraneDlg::CleanUpTempFolder() {
  auto settings = ConfigurationManager::Instance();
  if (!settings->m_workFolder.empty()) DeleteFolderTree(settings->m_workFolder);
}

}  // namespace ostrane
