// The locale tables we ship, loaded the way the installer loads them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <fstream>
#include <optional>
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

const char* const kIsvTables[] = {"isv_en_US.xml", "isv_es.xml"};
const char* const kDlmTables[] = {"dlm_en_US.xml", "dlm_es.xml", "dlm_pt_BR.xml", "dlm_pl.xml", "dlm_cs.xml",
                                  "dlm_da.xml", "dlm_de.xml", "dlm_fi.xml", "dlm_fr.xml", "dlm_it.xml",
                                  "dlm_nl.xml", "dlm_ru.xml", "dlm_tr.xml"};

class ShippedTablesTest : public ::testing::Test {
 protected:
  // Loads one table as every language of its own wizard type ("dlm_" files: DLM), with
  // the QL extra texts. The DLM wizard knows its product only once the campaign has
  // named it; productName stands for that.
  std::map<std::string, std::string> Load(const std::string& file,
                                          const std::optional<std::wstring>& productName = std::nullopt) {
    testing::FakeLocalePlatform platform;
    const char* wizard = file.rfind("dlm_", 0) == 0 ? "DLM" : "ISV";
    auto settings = std::make_shared<ConfigurationManager>(
        machine, BuildOptions{wizard, true, false, L"c.test", L"d.test", L"w.test", true, ""});
    if (productName) settings->m_productName = *productName;
    const std::vector<int> ids = GetLocaleResourceIds(*settings, platform);
    for (int id : ids) platform.AddTable(id, ReadTable(file));
    platform.AddTable(LanguageManager::kExtraTextsId, ReadTable("ql_extra.xml"));
    LanguageManager manager(platform, settings);
    testing::FakeLanguageList list;
    manager.FillLanguageCombo(list);
    EXPECT_EQ(list.names.size(), ids.size()) << file;
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

TEST_F(ShippedTablesTest, EveryTableResolvesAllItsReferences) {
  const std::regex reference(R"(\{[A-Z_0-9]+\})");
  std::vector<std::string> files(std::begin(kIsvTables), std::end(kIsvTables));
  files.insert(files.end(), std::begin(kDlmTables), std::end(kDlmTables));
  for (const std::string& file : files) {
    for (const auto& [key, text] : Load(file, L"Nimbus Notes")) {
      EXPECT_FALSE(std::regex_search(text, reference)) << file << " " << key << ": " << text;
      EXPECT_NO_THROW(Utf8ToWide(text));
    }
  }
}

// A key one language lacks leaves a page of that language with the template's English.
TEST_F(ShippedTablesTest, TablesOfAWizardTypeShareOneKeySet) {
  const auto isv = Keys(Load(kIsvTables[0]));
  for (const char* file : kIsvTables) EXPECT_EQ(Keys(Load(file)), isv) << file;
  const auto dlm = Keys(Load(kDlmTables[0]));
  for (const char* file : kDlmTables) EXPECT_EQ(Keys(Load(file)), dlm) << file;
}

// The DLM wizard's first page shows before the campaign has named the product: it
// names none, so it reads the same before and after, and it is in the user's language.
TEST_F(ShippedTablesTest, DlmFirstPageNamesNoProductInEveryLanguage) {
  const auto english = Load("dlm_en_US.xml");
  EXPECT_EQ(english.at("SPLASH_TITLE_QL"), "Welcome to the Setup Wizard");
  EXPECT_EQ(english.at("SPLASH_TEXT_QL"),
            "This wizard will download the software you have chosen to your computer in a few short steps.\r\n\r\n"
            "Click \"Next\" to continue.");
  for (const char* file : kDlmTables) {
    SCOPED_TRACE(file);
    const auto before = Load(file);
    const auto after = Load(file, L"Nimbus Notes");
    for (const char* key : {"SPLASH_TITLE_QL", "SPLASH_TEXT_QL"}) {
      SCOPED_TRACE(key);
      ASSERT_EQ(before.count(key), 1u);
      EXPECT_EQ(before.at(key), after.at(key));
      if (std::string(file) != "dlm_en_US.xml") {
        EXPECT_NE(before.at(key), english.at(key)) << "not translated";
      }
    }
    EXPECT_THAT(before.at("SPLASH_TEXT_QL"), ::testing::HasSubstr(before.at("BUTTON_NEXT")));
  }
}

// The disclaimer sits above Agree and must name it as the button shows it, in every
// table of both wizard types.
TEST_F(ShippedTablesTest, LicenseDisclaimerNamesTheAgreeButton) {
  std::vector<std::string> files(std::begin(kIsvTables), std::end(kIsvTables));
  files.insert(files.end(), std::begin(kDlmTables), std::end(kDlmTables));
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    auto texts = Load(file, L"Nimbus Notes");
    const std::string agree = texts["BUTTON_AGREE"];
    EXPECT_FALSE(agree.empty());
    EXPECT_THAT(texts["LICENSE_DISCLAIMER"], ::testing::HasSubstr("\"" + agree + "\""));
  }
}

}  // namespace
}  // namespace ostrane
