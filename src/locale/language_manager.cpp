#include "locale/language_manager.h"

#include <tinyxml2.h>

#include <algorithm>
#include <functional>
#include <set>

#include "settings/configuration_manager.h"
#include "settings/wizard_type.h"
#include "system/text_convert.h"

namespace ostrane {
namespace {

constexpr wchar_t kParseFailure[] = L"Failed to parse language xml file, error code: ";

// The text of an entry: its first child that is not a comment, if that is text.
const char* EntryText(const tinyxml2::XMLElement& element) {
  const tinyxml2::XMLNode* child = element.FirstChild();
  while (child != nullptr && child->ToComment() != nullptr) child = child->NextSibling();
  if (child == nullptr || child->ToText() == nullptr) return nullptr;
  return child->Value();
}

}  // namespace

std::vector<int> GetLocaleResourceIds(const ConfigurationManager& settings, LocalePlatform& platform) {
  switch (settings.m_wizardType) {
    case kWizardDlm: {
      std::vector<int> ids(14);
      for (int i = 0; i < 14; ++i) ids[i] = 105 + i;
      return ids;
    }
    case kWizardIsv:
      return {101, 102};
    default:
      platform.ShowMessage(L"Unknown wizard type (language manager");
      return {};
  }
}

LanguageManager::LanguageManager(LocalePlatform& platform, std::shared_ptr<ConfigurationManager> settings)
    : platform_(platform), settings_(std::move(settings)) {}

void LanguageManager::UnregisterPage(TextTarget* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
}

void LanguageManager::ShowParseFailure(const std::string& reason) {
  platform_.ShowMessage(kParseFailure + Utf8ToWide(reason));
}

bool LanguageManager::LoadLocaleResource(int id, tinyxml2::XMLDocument& document) {
  const LocaleResource resource = platform_.FindLocaleResource(id);
  if (resource.status == LocaleResource::Status::NotFound) {
    platform_.ShowMessage(L"Failed to find resource with id: " + std::to_wstring(id));
    return false;
  }
  if (resource.status == LocaleResource::Status::LoadFailed) {
    platform_.ShowMessage(L"Failed to load resource with id: " + std::to_wstring(id));
    return false;
  }
  if (document.Parse(resource.bytes.data(), resource.bytes.size()) != tinyxml2::XML_SUCCESS) {
    ShowParseFailure(document.ErrorStr());
    return false;
  }
  return true;
}

std::wstring LanguageManager::LocaleDisplayName(const std::wstring& localeName) {
  if (auto name = platform_.NativeLanguageName(localeName)) return *name;
  // Tables write "en_US" and "pt_BR", which the system rejects: fall back to the language.
  if (localeName.size() > 2) {
    if (auto name = platform_.NativeLanguageName(localeName.substr(0, 2))) return *name;
  }
  return localeName;
}

void LanguageManager::FillLanguageCombo(LanguageList& list) {
  const std::vector<int> ids = GetLocaleResourceIds(*settings_, platform_);
  nameToResource_.clear();
  nameToLocale_.clear();
  list.Clear();

  const std::wstring userLocale = platform_.UserDefaultLocaleName();
  std::wstring userLanguage = userLocale.empty() ? std::wstring() : LocaleDisplayName(userLocale);
  if (userLanguage.empty()) userLanguage = L"English";

  int selected = 0, count = 0;
  for (int id : ids) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (!LoadLocaleResource(id, document)) continue;
    const tinyxml2::XMLElement* root = document.FirstChildElement("Locale");
    if (root == nullptr) continue;
    const char* name = root->Attribute("name");
    if (name == nullptr) {
      ShowParseFailure("No name attribute");
      continue;
    }
    const std::wstring locale = Utf8ToWide(name);
    const std::wstring display = LocaleDisplayName(locale);
    if (display == userLanguage) selected = count;
    list.Add(display);
    ++count;
    nameToResource_[display] = id;
    nameToLocale_[display] = locale;
  }
  list.Select(selected);
  if (settings_->m_qlFlavour) list.Hide();
}

bool LanguageManager::SetLanguage(const std::wstring& displayName) {
  const auto resource = nameToResource_.find(displayName);
  if (resource == nameToResource_.end()) return false;
  tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
  if (!LoadLocaleResource(resource->second, document)) return false;
  LoadTexts(document);
  for (TextTarget* page : pages_) page->ApplyTexts();

  settings_->m_languageName = displayName;
  const auto locale = nameToLocale_.find(displayName);
  settings_->m_languageCode = locale == nameToLocale_.end() ? std::wstring() : locale->second;
  return true;
}

bool LanguageManager::LoadTexts(const tinyxml2::XMLDocument& document) {
  const tinyxml2::XMLElement* root = document.FirstChildElement("Locale");
  if (root == nullptr) {
    ShowParseFailure("No Locale element");
    return false;
  }
  texts_.clear();
  // Stored as UTF-8 like every other text: GetText decodes UTF-8, and a product name
  // outside ASCII (a DLM campaign's "ct") would otherwise come out garbled.
  texts_["PRODUCT_TITLE"] = WideToUtf8(settings_->m_productName);

  if (settings_->m_qlFlavour) {
    tinyxml2::XMLDocument extra(true, tinyxml2::PRESERVE_WHITESPACE);
    if (LoadLocaleResource(kExtraTextsId, extra)) {
      for (auto* entry = extra.FirstChildElement(); entry != nullptr; entry = entry->NextSiblingElement()) {
        // An extra text without text is skipped rather than stopping the whole table.
        if (const char* text = EntryText(*entry)) texts_[entry->Name()] = text;
      }
    }
  }

  for (auto* entry = root->FirstChildElement(); entry != nullptr; entry = entry->NextSiblingElement()) {
    const char* key = entry->Name();
    const char* text = EntryText(*entry);
    if (key == nullptr || text == nullptr) {
      ShowParseFailure("No name or text attribute");
      return false;
    }
    texts_[key] = text;
  }
  ResolveKeys();
  return true;
}

void LanguageManager::ResolveKeys() {
  std::map<std::string, std::string> resolved;
  std::set<std::string> inProgress;

  // Expands one entry, its references first; a key already being expanded further up
  // is a cycle, and its reference is left as written.
  std::function<const std::string&(const std::string&)> resolve = [&](const std::string& key) -> const std::string& {
    if (auto done = resolved.find(key); done != resolved.end()) return done->second;
    inProgress.insert(key);
    std::string text = texts_.at(key);
    for (std::size_t pos = 0;;) {
      const std::size_t open = text.find('{', pos);
      if (open == std::string::npos) break;
      const std::size_t close = text.find('}', open + 1);
      if (close == std::string::npos) break;
      const std::string reference = text.substr(open + 1, close - open - 1);
      if (texts_.count(reference) != 0 && inProgress.count(reference) == 0) {
        const std::string& replacement = resolve(reference);
        text.replace(open, close - open + 1, replacement);
        pos = open + replacement.size();
      } else {
        pos = close + 1;
      }
    }
    inProgress.erase(key);
    return resolved[key] = std::move(text);
  };

  for (const auto& entry : texts_) resolve(entry.first);
  texts_ = std::move(resolved);
}

std::wstring LanguageManager::GetText(const std::string& key) const {
  const auto entry = texts_.find(key);
  if (entry == texts_.end() || entry->second.empty()) return {};
  std::wstring text = Utf8ToWide(entry->second);
  text.resize(std::wcslen(text.c_str()));
  return text;
}

}  // namespace ostrane
