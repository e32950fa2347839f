#include "locale/win32_locale_platform.h"

#include "winui/message_box.h"

namespace ostrane {

LocaleResource Win32LocalePlatform::FindLocaleResource(int id) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"LOCALE");
  if (found == nullptr) return {LocaleResource::Status::NotFound, {}};
  HGLOBAL loaded = ::LoadResource(module, found);
  const auto* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (bytes == nullptr) return {LocaleResource::Status::LoadFailed, {}};
  return {LocaleResource::Status::Found, std::string(bytes, ::SizeofResource(module, found))};
}

std::optional<std::wstring> Win32LocalePlatform::NativeLanguageName(const std::wstring& localeName) {
  wchar_t name[85] = {};
  if (::GetLocaleInfoEx(localeName.c_str(), LOCALE_SNATIVELANGUAGENAME, name, 85) <= 0) return std::nullopt;
  return std::wstring(name);
}

std::wstring Win32LocalePlatform::UserDefaultLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) <= 0) return {};
  return name;
}

void Win32LocalePlatform::ShowMessage(const std::wstring& text) { win::AppMessageBox(text); }

void ComboBoxLanguageList::Clear() { ::SendMessageW(combo_, CB_RESETCONTENT, 0, 0); }

void ComboBoxLanguageList::Add(const std::wstring& name) {
  ::SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

void ComboBoxLanguageList::Select(int index) { ::SendMessageW(combo_, CB_SETCURSEL, index, 0); }

void ComboBoxLanguageList::Hide() { ::ShowWindow(combo_, SW_HIDE); }

}  // namespace ostrane
