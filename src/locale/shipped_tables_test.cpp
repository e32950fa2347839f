// The locale tables we ship, loaded the way the installer loads them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "settings/configuration_manager.h"
#include "locale/language_manager.h"
#include "system/text_convert.h"
#include "testing/fake_locale_platform.h"
#include "testing/fake_system_environment.h"

namespace ostrane {
namespace {

std::string ReadTable(const std::string& file) {
  std::ifstream in(std::string(OSTRANE_LOCALE_DIR) + "/" + file, std::ios::binary);
  EXPECT_TRUE(in) << file;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class ShippedTablesTest : public ::testing::Test {
 protected:
  // Loads one table as both languages of an ISV wizard with the QL extra texts.
  std::map<std::string, std::string> Load(const std::string& file) {
    testing::FakeLocalePlatform platform;
    platform.AddTable(101, ReadTable(file));
    platform.AddTable(102, ReadTable(file));
    platform.AddTable(LanguageManager::kExtraTextsId, ReadTable("ql_extra.xml"));
    auto settings = std::make_shared<ConfigurationManager>(
        machine, BuildOptions{"ISV", true, false, L"c.test", L"d.test", L"w.test", true, ""});
    LanguageManager manager(platform, settings);
    testing::FakeLanguageList list;
    manager.FillLanguageCombo(list);
    EXPECT_EQ(list.names.size(), 2u) << file;
    if (!list.names.empty()) {
      EXPECT_TRUE(manager.SetLanguage(list.names[0])) << file;
    }
    EXPECT_THAT(platform.messages, ::testing::IsEmpty()) << file;
    return manager.texts();
  }

  static std::set<std::string> Keys(const std::map<std::string, std::string>& texts) {
    std::set<std::string> keys;
    for (const auto& [key, text] : texts) keys.insert(key);
    return keys;
  }

  testing::FakeSystemEnvironment machine;
};

TEST_F(ShippedTablesTest, EnglishIsvTextsAreResolved) {
  auto texts = Load("isv_en_US.xml");
  EXPECT_EQ(texts["SPLASH_TEXT"], "To continue, please select your preferred language, and click \"Next\".");
  EXPECT_EQ(texts["SPLASH_TITLE_QL"], "Welcome to Quillara Web\xc2\xae Setup Wizard");
  EXPECT_EQ(texts["WELCOME_TEXT"], "This will install Quillara Web on your computer. Click \"Next\" to continue.");
  EXPECT_EQ(texts["MSG_EXIT"], "Are you sure you want to exit the installer?");
  EXPECT_EQ(texts["PAGE_ERROR_TEXT"], "Click on \"Close\" and try again later.");
  EXPECT_THAT(texts["PRODUCT_DISCLAIMER"], ::testing::HasSubstr("[PACKAGE_NAME]"));
  EXPECT_THAT(texts["LICENSE_DISCLAIMER"], ::testing::HasSubstr("<a href=\"[LICENSE_TOS_URL]\">Terms</a>"));
  EXPECT_GT(texts["LICENSE_EULA"].size(), 6000u);
}

TEST_F(ShippedTablesTest, SpanishIsvTableLacksTheLicenseButtonsAndSdkLink) {
  const auto english = Keys(Load("isv_en_US.xml"));
  const auto spanish = Keys(Load("isv_es.xml"));
  std::vector<std::string> missing;
  std::set_difference(english.begin(), english.end(), spanish.begin(), spanish.end(), std::back_inserter(missing));
  EXPECT_THAT(missing, ::testing::ElementsAre("BUTTON_AGREE", "BUTTON_BACK", "SDK_LINK"));
}

TEST_F(ShippedTablesTest, EveryTableResolvesAllItsReferences) {
  const std::regex reference(R"(\{[A-Z_0-9]+\})");
  for (const char* file : {"isv_en_US.xml", "isv_es.xml", "dlm_en_US.xml", "dlm_es.xml", "dlm_pt_BR.xml",
                           "dlm_pl.xml", "dlm_cs.xml", "dlm_da.xml", "dlm_de.xml", "dlm_fi.xml", "dlm_fr.xml",
                           "dlm_it.xml", "dlm_nl.xml", "dlm_ru.xml", "dlm_tr.xml"}) {
    for (const auto& [key, text] : Load(file)) {
      EXPECT_FALSE(std::regex_search(text, reference)) << file << " " << key << ": " << text;
      EXPECT_NO_THROW(Utf8ToWide(text));
    }
  }
}

TEST_F(ShippedTablesTest, DlmTablesShareOneKeySet) {
  const auto english = Keys(Load("dlm_en_US.xml"));
  for (const char* file : {"dlm_es.xml", "dlm_pt_BR.xml", "dlm_pl.xml", "dlm_cs.xml", "dlm_da.xml", "dlm_de.xml",
                           "dlm_fi.xml", "dlm_fr.xml", "dlm_it.xml", "dlm_nl.xml", "dlm_ru.xml", "dlm_tr.xml"}) {
    EXPECT_EQ(Keys(Load(file)), english) << file;
  }
}

}  // namespace
}  // namespace ostrane
