// In-memory locale resources and system locale names for native tests.
#pragma once

#include <map>
#include <vector>

#include "locale/locale_platform.h"

namespace ostrane::testing {

class FakeLocalePlatform : public LocalePlatform {
 public:
  std::map<int, LocaleResource> resources;
  // Locale names the "system" knows, with their native language names.
  std::map<std::wstring, std::wstring> nativeNames = {
      {L"en", L"English"}, {L"es", L"espa\u00f1ol"}, {L"es-ES", L"espa\u00f1ol"}, {L"de", L"Deutsch"},
      {L"de-DE", L"Deutsch"}, {L"pl", L"polski"}, {L"pt", L"portugu\u00eas"}, {L"en-US", L"English"}};
  std::wstring userLocale = L"en-US";
  std::vector<std::wstring> messages;

  void AddTable(int id, std::string xml) {
    resources[id] = LocaleResource{LocaleResource::Status::Found, std::move(xml)};
  }

  LocaleResource FindLocaleResource(int id) override {
    auto it = resources.find(id);
    return it == resources.end() ? LocaleResource{} : it->second;
  }
  std::optional<std::wstring> NativeLanguageName(const std::wstring& localeName) override {
    auto it = nativeNames.find(localeName);
    if (it == nativeNames.end()) return std::nullopt;
    return it->second;
  }
  std::wstring UserDefaultLocaleName() override { return userLocale; }
  void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
};

class FakeLanguageList : public LanguageList {
 public:
  std::vector<std::wstring> names;
  int selected = -1;
  bool hidden = false;
  void Clear() override { names.clear(), selected = -1; }
  void Add(const std::wstring& name) override { names.push_back(name); }
  void Select(int index) override { selected = index; }
  void Hide() override { hidden = true; }
};

}  // namespace ostrane::testing
