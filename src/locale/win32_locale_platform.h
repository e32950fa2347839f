// The language manager's view of Windows: "LOCALE" resources of this program,
// the system's locale names, and message boxes; and the combo box it fills.
#pragma once

#include <windows.h>

#include "locale/locale_platform.h"

namespace ostrane {

class Win32LocalePlatform : public LocalePlatform {
 public:
  LocaleResource FindLocaleResource(int id) override;
  std::optional<std::wstring> NativeLanguageName(const std::wstring& localeName) override;
  std::wstring UserDefaultLocaleName() override;
  void ShowMessage(const std::wstring& text) override;
};

class ComboBoxLanguageList : public LanguageList {
 public:
  explicit ComboBoxLanguageList(HWND combo) : combo_(combo) {}
  void Clear() override;
  void Add(const std::wstring& name) override;
  void Select(int index) override;
  void Hide() override;

 private:
  HWND combo_;  // we don't own it
};

}  // namespace ostrane
