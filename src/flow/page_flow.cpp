#include "flow/page_flow.h"

namespace ostrane {

FlowStep PageFlow::OnButton(ButtonType button, int skippedOfferPages) {
  FlowStep step;
  switch (button) {
    case ButtonType::Next:
      if (current_ == 0) {
        // After Back, the campaign is loaded already: skip the loading page.
        if (wentBack_) {
          step.navigateTo = 2;
          break;
        }
        step.createMainPackage = true;
      }
      step.navigateTo = current_ + 1;
      break;
    case ButtonType::Accept:
    case ButtonType::Decline:
    case ButtonType::SkipAll:
      step.navigateTo = current_ + 1 + skippedOfferPages;
      break;
    // The error page's Close, like Finish, leaves no work folder behind.
    case ButtonType::Close:
    case ButtonType::Finish:
      step.cleanUpWorkFolder = true;
      step.endDialog = 1;
      break;
    case ButtonType::Back:
      wentBack_ = true;
      step.navigateTo = current_ == 2 ? 0 : current_ - 1;
      break;
  }
  return step;
}

bool PageFlow::NavigateTo(int index) {
  if (!IsValidIndex(index)) return false;
  current_ = index;
  return true;
}

bool PageFlow::ShouldConfirmExit() const {
  if (errorShown_) return false;
  const auto count = static_cast<int>(pageCount_);
  return current_ < count - 1 || count == 2;
}

SystemMenuChange SystemMenuChangeFor(const std::wstring& pageName) {
  if (pageName == L"DownloadPageDLM" || pageName == L"DownloadPageISV") return SystemMenuChange::RemoveClose;
  if (pageName == L"FinishPageDLM" || pageName == L"FinishPageISV") return SystemMenuChange::RestoreClose;
  return SystemMenuChange::None;
}

}  // namespace ostrane
