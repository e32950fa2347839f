// Base of every wizard page: a modeless child dialog laid over the wizard's page
// placeholder. Binds controls to locale keys, registers with the language manager
// so that a language change reaches it, colours its bottom band, and reports button
// presses and failures to the wizard through two callbacks.
#pragma once

#include <functional>
#include <initializer_list>
#include <utility>
#include <memory>
#include <string>
#include <vector>

#include "flow/page_flow.h"
#include "locale/language_manager.h"
#include "winui/dialog.h"
#include "winui/unique_handle.h"

namespace ostrane {

using ButtonHandler = std::function<void(ButtonType)>;
using ErrorHandler = std::function<void(const std::wstring& title, const std::wstring& text)>;

struct TextBinding {
  int controlId;  // the control may be missing from the template: then it is skipped
  std::string key;
};

class IPage : public win::Dialog, public TextTarget {
 public:
  IPage(std::shared_ptr<LanguageManager> languages, int templateId);
  ~IPage() override;

  virtual void OnNavigateToPage() = 0;
  // The wizard is ending (the user quit, or Finish or the error page's Close): work of
  // the page that runs on other threads ends or is waited for here, before the wizard
  // deletes its work folder.
  virtual void OnWizardEnding() {}
  virtual void SetButtonHandler(ButtonHandler handler) { buttonHandler_ = std::move(handler); }
  virtual void SetErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }
  // Sets every bound control's text that the current language has.
  void ApplyTexts() override;
  // The locale key of each control the page fills in, known once it is created.
  const std::vector<TextBinding>& TextBindings() const { return bindings_; }
  virtual std::wstring GetPageName() const = 0;
  virtual HBRUSH OnCtlColorHook(HDC dc, HWND control, UINT type);

 protected:
  bool OnInitDialog() override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT type) final { return OnCtlColorHook(dc, control, type); }
  // Enter does not close a page.
  void OnOK() override {}
  // Escape does what the wizard's close button does: it asks the wizard window to
  // close (which asks the exit question where there is one), and does nothing while
  // the close button is gone from the window.
  void OnCancel() override;

  void BindText(int controlId, std::string key) { bindings_.push_back({controlId, std::move(key)}); }
  // Unset callbacks are skipped.
  void ReportButton(ButtonType button);
  // A click of one of these buttons is reported as its ButtonType; true when it was one.
  bool ReportClick(int id, int notifyCode, std::initializer_list<std::pair<int, ButtonType>> buttons);
  void ReportError(const std::wstring& title, const std::wstring& text);
  const std::shared_ptr<LanguageManager>& languages() const { return languages_; }

 private:
  std::shared_ptr<LanguageManager> languages_;
  std::vector<TextBinding> bindings_;
  win::UniqueBrush bandBrush_;
  ButtonHandler buttonHandler_;
  ErrorHandler errorHandler_;
};

}  // namespace ostrane
