#include "app/ostrane_app.h"

#include <commctrl.h>

#include "settings/configuration_manager.h"
#include "app/ostrane_dlg.h"

namespace ostrane {

COstraneApp::COstraneApp() = default;

COstraneApp::~COstraneApp() = default;

bool COstraneApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{8, 0xFF};
  ::InitCommonControlsEx(&controls);
  // 0xFF leaves out the link control, which the pages' templates use.
  INITCOMMONCONTROLSEX links{8, ICC_LINK_CLASS};
  ::InitCommonControlsEx(&links);

  // The license page's rich-edit control lives in this library; it stays loaded.
  if (::LoadLibraryW(L"RICHED32.DLL") == nullptr) return false;

  gdiplus_.emplace();

  COstraneDlg dialog;
  auto settings = ConfigurationManager::Instance();
  dialog.SetBackgroundColour(settings->m_backgroundColour);
  settings.reset();  // held for one operation only
  dialog.DoModal(nullptr);
  return false;
}

}  // namespace ostrane
