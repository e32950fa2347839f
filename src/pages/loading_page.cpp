#include "pages/loading_page.h"

#include <commctrl.h>

#include "res/resource.h"

namespace ostrane {

LoadingPage::LoadingPage(std::shared_ptr<LanguageManager> languages) : IPage(std::move(languages), IDD_LOADING_PAGE) {}

bool LoadingPage::OnInitDialog() {
  IPage::OnInitDialog();
  ApplyTexts();  // binds nothing; kept for pages that bind later
  return true;
}

void LoadingPage::OnNavigateToPage() {
  HWND progress = Item(IDC_LOADING_PROGRESS);
  ::SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ::SendMessageW(progress, PBM_SETPOS, 0, 0);
  ::SendMessageW(progress, PBM_SETMARQUEE, TRUE, 30);
  ::SetWindowLongPtrW(progress, GWL_STYLE, ::GetWindowLongPtrW(progress, GWL_STYLE) | PBS_MARQUEE);
}

}  // namespace ostrane
