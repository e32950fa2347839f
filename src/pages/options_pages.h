// Classic mode's choice pages: check boxes that all start checked, stored in the
// settings' options when Next is pressed. The options page fills options 0 to 2,
// the configurations page 3 to 7.
#pragma once

#include <cstddef>
#include <vector>

#include "flow/ipage.h"

namespace ostrane {

// A check box and the settings option it sets (an index into m_options).
struct OptionBox {
  int controlId;
  std::size_t option;
};

class CheckBoxPage : public IPage {
 public:
  void OnNavigateToPage() override {}

 protected:
  CheckBoxPage(std::shared_ptr<LanguageManager> languages, int templateId, std::vector<TextBinding> texts,
               std::vector<OptionBox> boxes, int titleId);
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;

 private:
  std::vector<TextBinding> texts_;
  std::vector<OptionBox> boxes_;
  int titleId_;
  win::UniqueFont titleFont_;
};

class OptionsPageQLClassic : public CheckBoxPage {
 public:
  explicit OptionsPageQLClassic(std::shared_ptr<LanguageManager> languages);
  std::wstring GetPageName() const override { return L"OptionsPageQLClassic"; }
};

class ConfigurationsPageQLClassic : public CheckBoxPage {
 public:
  explicit ConfigurationsPageQLClassic(std::shared_ptr<LanguageManager> languages);
  std::wstring GetPageName() const override { return L"ConfigurationsPageQLClassic"; }
};

}  // namespace ostrane
