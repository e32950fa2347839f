// The wizard's failure screen: an image, a title and a text from the caller, and
// Close. It stands outside the page list.
#pragma once

#include "flow/ipage.h"
#include "winui/static_from_image.h"

namespace ostrane {

class ErrorPage : public IPage {
 public:
  explicit ErrorPage(std::shared_ptr<LanguageManager> languages);
  void OnNavigateToPage() override {}
  void SetErrorHandler(ErrorHandler) override {}  // the error page reports no errors
  std::wstring GetPageName() const override { return L"ErrorPage"; }

  // Sets the title and text and pushes them into their controls.
  void SetTexts(const std::wstring& title, const std::wstring& text);

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;

 private:
  std::wstring title_;
  std::wstring text_;
  CStaticFromImage image_;
};

}  // namespace ostrane
