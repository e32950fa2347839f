#include "pages/options_pages.h"

#include "res/resource.h"
#include "settings/configuration_manager.h"
#include "winui/fonts.h"

namespace ostrane {

CheckBoxPage::CheckBoxPage(std::shared_ptr<LanguageManager> languages, int templateId, std::vector<TextBinding> texts,
                           std::vector<OptionBox> boxes, int titleId)
    : IPage(std::move(languages), templateId), texts_(std::move(texts)), boxes_(std::move(boxes)), titleId_(titleId) {}

bool CheckBoxPage::OnInitDialog() {
  IPage::OnInitDialog();
  // Every option starts switched on.
  for (const OptionBox& box : boxes_) ::SendMessageW(Item(box.controlId), BM_SETCHECK, BST_CHECKED, 0);
  for (const TextBinding& text : texts_) BindText(text.controlId, text.key);
  ApplyTexts();
  titleFont_ = win::ApplyDerivedFont(Item(titleId_), 12, 1000);
  // Enter goes on to the next page.
  ::SendMessageW(hwnd(), DM_SETDEFID, IDC_NEXT, 0);
  return true;
}

bool CheckBoxPage::OnCommand(int id, int notifyCode, HWND control) {
  if (notifyCode == BN_CLICKED && id == IDC_NEXT) {
    const auto settings = ConfigurationManager::Instance();
    for (const OptionBox& box : boxes_)
      settings->m_options.at(box.option) = ::IsDlgButtonChecked(hwnd(), box.controlId) == BST_CHECKED;
    ReportButton(ButtonType::Next);
    return true;
  }
  // Going back keeps the options as they were: they are taken only on the way forward.
  if (ReportClick(id, notifyCode, {{IDC_BACK, ButtonType::Back}})) return true;
  return IPage::OnCommand(id, notifyCode, control);
}

OptionsPageQLClassic::OptionsPageQLClassic(std::shared_ptr<LanguageManager> languages)
    : CheckBoxPage(std::move(languages), IDD_OPTIONS_PAGE,
                   {
                       {IDC_OPTIONS_TITLE, "OPTIONS_TITLE"},
                       {IDC_OPTIONS_CHECK_1, "OPTIONS_CHECK_1"},
                       {IDC_OPTIONS_CHECK_2, "OPTIONS_CHECK_2"},
                       {IDC_OPTIONS_CHECK_3, "OPTIONS_CHECK_3"},
                       {IDC_NEXT, "BUTTON_NEXT"},
                   },
                   {{IDC_OPTIONS_CHECK_1, 0}, {IDC_OPTIONS_CHECK_2, 1}, {IDC_OPTIONS_CHECK_3, 2}}, IDC_OPTIONS_TITLE) {}

ConfigurationsPageQLClassic::ConfigurationsPageQLClassic(std::shared_ptr<LanguageManager> languages)
    : CheckBoxPage(std::move(languages), IDD_CONFIGURATIONS_PAGE,
                   {
                       {IDC_CONFIGURATIONS_TITLE, "CONFIGURATIONS_TITLE"},
                       {IDC_CONFIGURATIONS_SUBTITLE_1, "CONFIGURATIONS_SUBTITLE_1"},
                       {IDC_CONFIGURATIONS_TEXT_1, "CONFIGURATIONS_TEXT_1"},
                       // The first box has no text of its own: a label beside it carries it.
                       {IDC_CONFIGURATIONS_CHECK_1_LABEL, "CONFIGURATIONS_CHECK_1"},
                       {IDC_CONFIGURATIONS_CHECK_2, "CONFIGURATIONS_CHECK_2"},
                       {IDC_CONFIGURATIONS_SUBTITLE_2, "CONFIGURATIONS_SUBTITLE_2"},
                       {IDC_CONFIGURATIONS_TEXT_2, "CONFIGURATIONS_TEXT_2"},
                       {IDC_CONFIGURATIONS_CHECK_3, "CONFIGURATIONS_CHECK_3"},
                       {IDC_CONFIGURATIONS_CHECK_4, "CONFIGURATIONS_CHECK_4"},
                       {IDC_CONFIGURATIONS_CHECK_5, "CONFIGURATIONS_CHECK_5"},
                       {IDC_NEXT, "BUTTON_NEXT"},
                       {IDC_BACK, "BUTTON_BACK"},
                   },
                   {
                       {IDC_CONFIGURATIONS_CHECK_1, 3},
                       {IDC_CONFIGURATIONS_CHECK_2, 4},
                       {IDC_CONFIGURATIONS_CHECK_3, 5},
                       {IDC_CONFIGURATIONS_CHECK_4, 6},
                       {IDC_CONFIGURATIONS_CHECK_5, 7},
                   },
                   IDC_CONFIGURATIONS_TITLE) {}

}  // namespace ostrane
