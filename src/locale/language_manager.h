// Key -> text tables per language, embedded as XML resources of type "LOCALE".
// Chooses the user's language, loads a table, expands {KEY} references and pushes
// the texts to every registered page.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "locale/locale_platform.h"

namespace tinyxml2 {
class XMLDocument;
}

namespace ostrane {

class ConfigurationManager;

// Locale resource ids of the settings' wizard type (ISV 101-102, DLM 105-118).
std::vector<int> GetLocaleResourceIds(const ConfigurationManager& settings, LocalePlatform& platform);

class LanguageManager {
 public:
  static constexpr int kExtraTextsId = 120;

  LanguageManager(LocalePlatform& platform, std::shared_ptr<ConfigurationManager> settings);

  // Parses the "LOCALE" resource into the document; shows what failed.
  bool LoadLocaleResource(int id, tinyxml2::XMLDocument& document);
  // Offers the wizard type's languages with the user's own preselected.
  void FillLanguageCombo(LanguageList& list);
  // Loads the language, applies it to every page and records it in the settings.
  bool SetLanguage(const std::wstring& displayName);
  // Replaces the text map with the document's entries (and the extra texts).
  bool LoadTexts(const tinyxml2::XMLDocument& document);
  // Expands {KEY} references between texts. A reference that would close a cycle
  // stays as written.
  void ResolveKeys();
  // The key's text, or empty.
  std::wstring GetText(const std::string& key) const;
  std::wstring LocaleDisplayName(const std::wstring& localeName);

  void RegisterPage(TextTarget* page) { pages_.push_back(page); }
  void UnregisterPage(TextTarget* page);

  const std::map<std::string, std::string>& texts() const { return texts_; }

 private:
  void ShowParseFailure(const std::string& reason);

  LocalePlatform& platform_;  // we don't own it
  std::shared_ptr<ConfigurationManager> settings_;
  std::map<std::wstring, int> nameToResource_;
  std::map<std::wstring, std::wstring> nameToLocale_;
  std::vector<TextTarget*> pages_;  // we don't own them
  std::map<std::string, std::string> texts_;
};

}  // namespace ostrane
