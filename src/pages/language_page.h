// The first page: the language choice. LanguagePage shows the list; LanguagePageQL
// is a splash page whose list is filled and applied but hidden.
#pragma once

#include "flow/ipage.h"

namespace ostrane {

class LanguagePage : public IPage {
 public:
  explicit LanguagePage(std::shared_ptr<LanguageManager> languages);
  void OnNavigateToPage() override {}
  std::wstring GetPageName() const override { return L"LanguagePage"; }

 protected:
  LanguagePage(std::shared_ptr<LanguageManager> languages, int templateId);
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  virtual void BindTexts();

 private:
  void ApplySelectedLanguage();
};

class LanguagePageQL : public LanguagePage {
 public:
  explicit LanguagePageQL(std::shared_ptr<LanguageManager> languages);
  std::wstring GetPageName() const override { return L"LanguagePageQL"; }

 protected:
  void BindTexts() override;
};

}  // namespace ostrane
