// The last pages of the wizard: a picture, thanks, and Finish, which may start the
// product (ISV: a check box) or show what was downloaded (DLM: launch it or open
// its folder).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "flow/ipage.h"
#include "winui/static_from_image.h"

namespace ostrane {

// Opens a file as the shell would (empty parameters are none).
using Launcher = std::function<void(const std::wstring& file, const std::wstring& parameters)>;

class FinishPage : public IPage {
 public:
  // The wizard can no longer be minimised: only Finish is left to do.
  void OnNavigateToPage() override;
  // ShellExecuteW unless replaced: tests see what Finish would start instead.
  void SetLauncher(Launcher launcher) { launch_ = std::move(launcher); }

 protected:
  // choices: the page's own controls and keys; launchControl starts checked.
  FinishPage(std::shared_ptr<LanguageManager> languages, int templateId, std::vector<TextBinding> choices,
             int launchControl);
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  // Starts what the user chose on the page, if anything.
  virtual void LaunchChosen() = 0;

  void Launch(const std::wstring& file, const std::wstring& parameters) const;
  bool IsChecked(int id) const;

 private:
  std::vector<TextBinding> choices_;
  int launchControl_;
  CStaticFromImage image_;
  Launcher launch_;
};

class FinishPageIsv : public FinishPage {
 public:
  explicit FinishPageIsv(std::shared_ptr<LanguageManager> languages);
  std::wstring GetPageName() const override { return L"FinishPageISV"; }

 protected:
  void LaunchChosen() override;
};

class FinishPageDlm : public FinishPage {
 public:
  explicit FinishPageDlm(std::shared_ptr<LanguageManager> languages);
  std::wstring GetPageName() const override { return L"FinishPageDLM"; }

 protected:
  void LaunchChosen() override;
};

}  // namespace ostrane
