#include "locale/language_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "settings/configuration_manager.h"
#include "testing/fake_locale_platform.h"
#include "testing/fake_system_environment.h"

namespace ostrane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::FakeLanguageList;
using testing::FakeLocalePlatform;

std::string Table(const std::string& name, const std::string& entries) {
  return "<?xml version='1.0' encoding='utf-8'?>\n<Locale name=\"" + name + "\">" + entries + "</Locale>";
}

class LanguageManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<ConfigurationManager> Settings(const std::string& wizardType, bool ql) {
    return std::make_shared<ConfigurationManager>(
        machine, BuildOptions{wizardType, ql, false, L"c.test", L"d.test", L"w.test", true, ""});
  }

  // Loads one table's entries directly, the way SetLanguage does.
  bool Load(LanguageManager& manager, const std::string& entries) {
    platform.AddTable(900, Table("en_US", entries));
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    EXPECT_TRUE(manager.LoadLocaleResource(900, document));
    return manager.LoadTexts(document);
  }

  testing::FakeSystemEnvironment machine;
  FakeLocalePlatform platform;
};

TEST_F(LanguageManagerTest, ResolvesNestedReferencesAndLeavesUnknownOnes) {
  LanguageManager manager(platform, Settings("ISV", false));
  ASSERT_TRUE(Load(manager,
                   "<A>a[{B}]</A><B>b{C}</B><C>c</C><D>{NOT_A_KEY} and {A}</D><E>{PRODUCT_TITLE} [PACKAGE_NAME]</E>"
                   "<F>open { and {C</F>"));
  EXPECT_EQ(manager.GetText("A"), L"a[bc]");
  EXPECT_EQ(manager.GetText("D"), L"{NOT_A_KEY} and a[bc]");
  EXPECT_EQ(manager.GetText("E"), L"Quillara Web [PACKAGE_NAME]");
  EXPECT_EQ(manager.GetText("F"), L"open { and {C");
  EXPECT_EQ(manager.GetText("MISSING"), L"");
}

TEST_F(LanguageManagerTest, ReferenceCyclesEndAndLeaveTheClosingReference) {
  LanguageManager manager(platform, Settings("ISV", false));
  ASSERT_TRUE(Load(manager, "<SELF>x{SELF}y</SELF><P>p{Q}</P><Q>q{P}</Q><R>{P}</R>"));
  EXPECT_EQ(manager.GetText("SELF"), L"x{SELF}y");
  EXPECT_EQ(manager.GetText("P"), L"pq{P}");
  // Q was expanded while P was open, so its own reference to P stays.
  EXPECT_EQ(manager.GetText("Q"), L"q{P}");
  EXPECT_EQ(manager.GetText("R"), L"pq{P}");
}

TEST_F(LanguageManagerTest, ProductTitleComesFromTheSettingsUnlessATableOverridesIt) {
  auto settings = Settings("ISV", false);
  LanguageManager manager(platform, settings);
  ASSERT_TRUE(Load(manager, "<T>Setup of {PRODUCT_TITLE}</T>"));
  EXPECT_EQ(manager.GetText("T"), L"Setup of Quillara Web");
  ASSERT_TRUE(Load(manager, "<PRODUCT_TITLE>Other</PRODUCT_TITLE><T>Setup of {PRODUCT_TITLE}</T>"));
  EXPECT_EQ(manager.GetText("T"), L"Setup of Other");
  settings->m_productName = L"Quillara Caf\u00e9 \u2603";  // a DLM campaign names its product
  ASSERT_TRUE(Load(manager, "<T>Setup of {PRODUCT_TITLE}</T>"));
  EXPECT_EQ(manager.GetText("T"), L"Setup of Quillara Caf\u00e9 \u2603");
}

TEST_F(LanguageManagerTest, ExtraTextsJoinTheTableWithTheQlFlavour) {
  platform.AddTable(LanguageManager::kExtraTextsId,
                    "<SPLASH_TITLE_QL>Welcome to {PRODUCT_TITLE}</SPLASH_TITLE_QL><LICENSE_TITLE>L</LICENSE_TITLE>");
  LanguageManager ql(platform, Settings("ISV", true));
  ASSERT_TRUE(Load(ql, "<LICENSE_TITLE>from the table</LICENSE_TITLE>"));
  EXPECT_EQ(ql.GetText("SPLASH_TITLE_QL"), L"Welcome to Quillara Web");
  EXPECT_EQ(ql.GetText("LICENSE_TITLE"), L"from the table");

  LanguageManager plain(platform, Settings("ISV", false));
  ASSERT_TRUE(Load(plain, "<X>x</X>"));
  EXPECT_EQ(plain.GetText("SPLASH_TITLE_QL"), L"");
}

TEST_F(LanguageManagerTest, TableLoadingFailuresSayWhatWentWrong) {
  platform.resources[101] = LocaleResource{LocaleResource::Status::LoadFailed, {}};
  platform.AddTable(102, "");
  platform.AddTable(103, "<Locale name='x'><unclosed></Locale>");
  LanguageManager manager(platform, Settings("ISV", false));
  tinyxml2::XMLDocument document;
  EXPECT_FALSE(manager.LoadLocaleResource(100, document));
  EXPECT_FALSE(manager.LoadLocaleResource(101, document));
  EXPECT_FALSE(manager.LoadLocaleResource(102, document));
  EXPECT_FALSE(manager.LoadLocaleResource(103, document));
  ASSERT_EQ(platform.messages.size(), 4u);
  EXPECT_EQ(platform.messages[0], L"Failed to find resource with id: 100");
  EXPECT_EQ(platform.messages[1], L"Failed to load resource with id: 101");
  EXPECT_THAT(platform.messages[2], ::testing::StartsWith(L"Failed to parse language xml file, error code: "));
  EXPECT_THAT(platform.messages[2], ::testing::HasSubstr(L"EMPTY_DOCUMENT"));
  EXPECT_THAT(platform.messages[3], ::testing::HasSubstr(L"MISMATCHED_ELEMENT"));
}

TEST_F(LanguageManagerTest, MissingLocaleElementKeepsThePreviousTexts) {
  LanguageManager manager(platform, Settings("ISV", false));
  ASSERT_TRUE(Load(manager, "<A>kept</A>"));
  tinyxml2::XMLDocument other;
  other.Parse("<Table name='x'><A>new</A></Table>");
  EXPECT_FALSE(manager.LoadTexts(other));
  EXPECT_EQ(manager.GetText("A"), L"kept");
  EXPECT_THAT(platform.messages, ElementsAre(L"Failed to parse language xml file, error code: No Locale element"));
}

TEST_F(LanguageManagerTest, EntryWithoutTextStopsTheLoadWithoutExpanding) {
  LanguageManager manager(platform, Settings("ISV", false));
  EXPECT_FALSE(Load(manager, "<A>a {B}</A><B>b</B><EMPTY/><C>never</C>"));
  EXPECT_EQ(manager.GetText("A"), L"a {B}");
  EXPECT_EQ(manager.GetText("B"), L"b");
  EXPECT_EQ(manager.GetText("C"), L"");
  EXPECT_THAT(platform.messages,
              ElementsAre(L"Failed to parse language xml file, error code: No name or text attribute"));
}

TEST_F(LanguageManagerTest, CommentsBeforeATextAreSkippedButEntitiesAndWhitespaceKept) {
  LanguageManager manager(platform, Settings("ISV", false));
  ASSERT_TRUE(Load(manager, "<!-- c --><A><!-- c -->  two&#13;&#10;lines &lt;a href=\"u\"&gt;x&lt;/a&gt; </A>"));
  EXPECT_EQ(manager.GetText("A"), L"  two\r\nlines <a href=\"u\">x</a> ");
}

class LanguageChoiceTest : public LanguageManagerTest {
 protected:
  void AddIsvTables() {
    platform.AddTable(101, Table("en_US", "<BUTTON_NEXT>Next</BUTTON_NEXT>"));
    platform.AddTable(102, Table("es", "<BUTTON_NEXT>Siguiente</BUTTON_NEXT>"));
  }
};

TEST_F(LanguageChoiceTest, UserLanguageIsPreselected) {
  AddIsvTables();
  const struct {
    std::wstring userLocale;
    int selected;
  } cases[] = {{L"es-ES", 1}, {L"de-DE", 0}, {L"en-US", 0}, {L"", 0}, {L"xx-YY", 0}};
  for (const auto& c : cases) {
    platform.userLocale = c.userLocale;
    LanguageManager manager(platform, Settings("ISV", false));
    FakeLanguageList list;
    manager.FillLanguageCombo(list);
    EXPECT_THAT(list.names, ElementsAre(L"English", L"espa\u00f1ol"));
    EXPECT_EQ(list.selected, c.selected) << ::testing::PrintToString(c.userLocale);
    EXPECT_FALSE(list.hidden);
  }
}

TEST_F(LanguageChoiceTest, QlFlavourFillsButHidesTheList) {
  AddIsvTables();
  LanguageManager manager(platform, Settings("ISV", true));
  FakeLanguageList list;
  manager.FillLanguageCombo(list);
  EXPECT_EQ(list.names.size(), 2u);
  EXPECT_TRUE(list.hidden);
}

TEST_F(LanguageChoiceTest, SetLanguageAppliesTextsToPagesAndRecordsTheChoice) {
  AddIsvTables();
  auto settings = Settings("ISV", false);
  LanguageManager manager(platform, settings);
  struct Page : TextTarget {
    std::vector<std::wstring>* log;
    LanguageManager* manager;
    void ApplyTexts() override { log->push_back(manager->GetText("BUTTON_NEXT")); }
  };
  std::vector<std::wstring> log;
  Page first, second;
  first.log = second.log = &log;
  first.manager = second.manager = &manager;
  manager.RegisterPage(&first);
  manager.RegisterPage(&second);
  FakeLanguageList list;
  manager.FillLanguageCombo(list);

  EXPECT_TRUE(manager.SetLanguage(L"espa\u00f1ol"));
  EXPECT_THAT(log, ElementsAre(L"Siguiente", L"Siguiente"));
  EXPECT_EQ(settings->m_languageName, L"espa\u00f1ol");
  EXPECT_EQ(settings->m_languageCode, L"es");

  manager.UnregisterPage(&first);
  EXPECT_FALSE(manager.SetLanguage(L"Klingon"));
  EXPECT_TRUE(manager.SetLanguage(L"English"));
  EXPECT_THAT(log, ElementsAre(L"Siguiente", L"Siguiente", L"Next"));
  EXPECT_EQ(settings->m_languageCode, L"en_US");
}

TEST_F(LanguageChoiceTest, BadTablesAreSkippedWithTheirMessage) {
  platform.AddTable(101, "<Locale><A>a</A></Locale>");          // no name
  platform.AddTable(102, "<Other name='es'><A>a</A></Other>");   // no Locale: skipped silently
  LanguageManager manager(platform, Settings("ISV", false));
  FakeLanguageList list;
  manager.FillLanguageCombo(list);
  EXPECT_THAT(list.names, IsEmpty());
  EXPECT_EQ(list.selected, 0);
  EXPECT_THAT(platform.messages, ElementsAre(L"Failed to parse language xml file, error code: No name attribute"));
}

TEST_F(LanguageChoiceTest, DlmListsFourteenTablesAndDuplicatesTwice) {
  const char* locales[] = {"en_US", "es", "pt_BR", "pl", "cs", "da", "de", "fi", "fr", "it", "nl", "pl", "ru", "tr"};
  for (int i = 0; i < 14; ++i) platform.AddTable(105 + i, Table(locales[i], "<A>a</A>"));
  platform.userLocale = L"de-DE";
  LanguageManager manager(platform, Settings("DLM", false));
  FakeLanguageList list;
  manager.FillLanguageCombo(list);
  ASSERT_EQ(list.names.size(), 14u);
  EXPECT_EQ(list.names[2], L"portugu\u00eas");  // "pt_BR" is shown by its language
  EXPECT_EQ(list.names[3], L"polski");
  EXPECT_EQ(list.names[11], L"polski");
  EXPECT_EQ(list.names[4], L"cs");  // a locale the system cannot name shows as written
  EXPECT_EQ(list.selected, 6);
}

TEST_F(LanguageChoiceTest, UnknownWizardTypeOffersNothing) {
  LanguageManager manager(platform, Settings("XYZ", false));
  FakeLanguageList list;
  manager.FillLanguageCombo(list);
  EXPECT_THAT(list.names, IsEmpty());
  EXPECT_THAT(platform.messages, ElementsAre(L"Unknown wizard type (language manager"));
}

}  // namespace
}  // namespace ostrane
