#include "app/ostrane_app.h"

#include <commctrl.h>

#include "settings/configuration_manager.h"
#include "app/ostrane_dlg.h"
#include "app/setup_log_start.h"
#include "log/setup_log.h"

namespace ostrane {

COstraneApp::COstraneApp() = default;

COstraneApp::~COstraneApp() = default;

bool COstraneApp::InitInstance() {
  LogStartUp();
  INITCOMMONCONTROLSEX controls{8, 0xFF};
  ::InitCommonControlsEx(&controls);
  // 0xFF leaves out the link control, which the pages' templates use.
  INITCOMMONCONTROLSEX links{8, ICC_LINK_CLASS};
  ::InitCommonControlsEx(&links);

  // GDI+ starts with the first picture and the rich-edit library with the license
  // page: the first page needs neither.
  gdiplus_.emplace();

  COstraneDlg dialog;
  auto settings = ConfigurationManager::Instance();
  dialog.SetBackgroundColour(settings->m_backgroundColour);
  settings.reset();  // held for one operation only
  dialog.DoModal(nullptr);
  log::LogLine("end", "the installer ends");
  return false;
}

}  // namespace ostrane
