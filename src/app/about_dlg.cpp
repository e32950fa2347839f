#include "app/about_dlg.h"

#include "res/resource.h"

namespace ostrane {

CAboutDlg::CAboutDlg(std::wstring fileVersion) : Dialog(IDD_ABOUTBOX), fileVersion_(std::move(fileVersion)) {}

bool CAboutDlg::OnInitDialog() {
  SetItemText(IDC_ABOUT_VERSION, L"Ostrane, Version " + fileVersion_);
  return true;
}

}  // namespace ostrane
