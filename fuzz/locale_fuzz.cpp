// Locale tables: the XML of a table (and, after a NUL byte, the QL extra texts) loaded
// as the language page loads them, its {KEY} references resolved, every text read.
#include <tinyxml2.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "locale/language_manager.h"
#include "settings/configuration_manager.h"
#include "testing/fake_locale_platform.h"
#include "testing/fake_system_environment.h"

namespace {

using namespace ostrane;

constexpr int kTableId = 101;  // the ISV tables are 101 and 102

// The text LoadTexts takes for an entry: its first child that is not a comment.
const char* FirstText(const tinyxml2::XMLElement& element) {
  const tinyxml2::XMLNode* child = element.FirstChild();
  while (child != nullptr && child->ToComment() != nullptr) child = child->NextSibling();
  return child != nullptr && child->ToText() != nullptr ? child->Value() : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto nul = input.find('\0');
  const bool withExtra = nul != std::string::npos;

  testing::FakeSystemEnvironment environment;
  testing::FakeLocalePlatform platform;
  platform.AddTable(kTableId, input.substr(0, nul));
  if (withExtra) platform.AddTable(LanguageManager::kExtraTextsId, input.substr(nul + 1));
  auto settings = std::make_shared<ConfigurationManager>(
      environment, BuildOptions{"ISV", withExtra, false, L"c.test", L"d.test", L"w.test", true, ""});
  LanguageManager manager(platform, settings);

  // The language page's way in: the table's name attribute, then the table itself.
  testing::FakeLanguageList list;
  manager.FillLanguageCombo(list);
  if (!list.names.empty()) manager.SetLanguage(list.names.front());

  tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
  if (!manager.LoadLocaleResource(kTableId, document) || !manager.LoadTexts(document)) return 0;

  // An entry whose text references nothing comes out as the table wrote it (the last
  // entry of a name wins).
  std::map<std::string, std::string> plain;
  for (auto* entry = document.FirstChildElement("Locale")->FirstChildElement(); entry != nullptr;
       entry = entry->NextSiblingElement()) {
    const std::string text = FirstText(*entry);
    if (text.find('{') == std::string::npos) {
      plain[entry->Name()] = text;
    } else {
      plain.erase(entry->Name());
    }
  }
  for (const auto& [key, text] : plain) {
    const auto found = manager.texts().find(key);
    FUZZ_CHECK(found != manager.texts().end() && found->second == text);
  }

  // Resolving again must end too: texts may now hold references that closed cycles.
  manager.ResolveKeys();
  for (const auto& [key, text] : manager.texts()) manager.GetText(key);
  return 0;
}
