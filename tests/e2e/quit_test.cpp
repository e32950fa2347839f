// Quitting at every stage of a run: the question the wizard asks (if any), the quit
// events the analytics server hears, and the temp work folder gone when the process
// has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <functional>

#include "demo_files.h"
#include "demo_log.h"
#include "e2e_environment.h"
#include "e2e_server.h"
#include "testing/pending_renames.h"
#include "testing/kit_paths.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;
using nlohmann::json;
using testing::ServedFile;
using testing::ServerRecords;
using testing::ServerRules;

constexpr int kNext = 1010, kAgree = 1050, kAccept = 1021, kDecline = 1022, kClose = 1035, kFinish = 1028;
constexpr wchar_t kExitQuestion[] = L"Are you sure you want to exit the installer?";
constexpr wchar_t kInstallingQuestion[] =
    L"Some installer processes are already running in the background and will finish momentarily. "
    L"Are you sure you would like to exit?";
constexpr char kProductDownload[] = "/endpoint/qlweb/os/riserollout/track/beta";

json Offer(const std::string& id, int vertical) {
  return json{{"ad", {{"o", id}, {"f", "flow"}}},
              {"ps", {{"i", id + ".png"}, {"dn", "Offer " + id}, {"u", "https://localhost/f/" + id + ".exe"},
                      {"v", vertical}}}};
}

// A campaign of two offers, which the rules both keep.
const json kTwoOffers = {{"f", {{"m", 3}}}, {"o", {Offer("a", 1), Offer("b", 2)}}};

class QuitTest : public ::testing::Test {
 public:  // the stages' table drives the wizard through the fixture
  void SetUp() override {
    before_ = WorkFolders();
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"OSTRANE_DEMO_WAIT_MS", nullptr);
  }

  // Serves the demo installers, starts the wizard on this campaign and waits for its
  // language page.
  HWND Start(const json& campaign, json rules = json::object()) {
    // The last case's rules and files go first: dropping them later would undo these.
    rules_.reset();
    served_.clear();
    served_.push_back(std::make_unique<ServedFile>(
        L"product", L"QuillaraWebInstaller.exe",
        ReadBytes(testing::TestFilePath(OSTRANE_DEMO_DIR) + L"\\QuillaraWebInstaller.exe")));
    const std::string offer = ReadBytes(testing::TestFilePath(OSTRANE_DEMO_DIR) + L"\\offer_installer.exe");
    for (const wchar_t* name : {L"a.exe", L"b.exe"}) served_.push_back(std::make_unique<ServedFile>(name, offer));
    rules["/o"]["body"] = campaign.dump();
    rules_ = std::make_unique<ServerRules>(rules);
    installer_ = std::make_unique<Installer>(g_installerPath);
    wizard_ = installer_->WaitForWindow([](HWND window) { return ClassName(window) == L"#32770"; });
    if (wizard_ == nullptr) return nullptr;
    return WaitForPage(wizard_, L"LanguagePageQL");
  }

  HWND Press(HWND page, int button) {
    Click(page, button);
    return WaitForNextPage(wizard_, page);
  }

  // Closes the window as the title bar would; the question it asked (empty: none),
  // answered with OK.
  std::wstring CloseAndAnswer() {
    ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
    HWND question = WaitForMessageBox(installer_->pid(), wizard_, 3s);
    if (question == nullptr) return {};
    const std::wstring text = MessageBoxText(question);
    Click(question, IDOK);
    return text;
  }

  // The (id, code) of every event since the start, in order of both.
  std::vector<std::pair<std::string, std::string>> Events() const {
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& event : AnalyticsEvents(records_)) list.emplace_back(event.id(), event.code());
    std::sort(list.begin(), list.end());
    return list;
  }

  // The work folder this run made: gone, and nothing else left in the temp folder.
  void ExpectNoWorkFolderLeft() const { EXPECT_EQ(WorkFolders(), before_) << "a work folder is left behind"; }

  // First made, last gone: the installer has ended before its folder is removed.
  InstalledProductGuard product_;
  ServerRecords records_;
  DemoLog log_;
  std::vector<std::unique_ptr<ServedFile>> served_;
  std::unique_ptr<ServerRules> rules_;
  std::unique_ptr<Installer> installer_;
  HWND wizard_ = nullptr;
  std::set<std::wstring> before_;
};

using EventList = std::vector<std::pair<std::string, std::string>>;

// The stages before anything is installed: each asks the plain question, and every
// package the user has seen (the product from the first Next, each offer shown and
// not answered) reports event 5.
TEST_F(QuitTest, BeforeInstallingEveryStageAsksAndReportsTheQuit) {
  struct Case {
    const char* stage;
    json rules;
    // From the language page to the stage; false when it was not reached.
    std::function<bool(QuitTest&, HWND language)> reach;
    EventList events;
  };
  const Case cases[] = {
      {"the language page", json::object(), [](QuitTest&, HWND) { return true; }, {}},
      {"loading the campaign",
       {{"/o", {{"delay_ms", 4000}}}},
       [](QuitTest& test, HWND language) {
         Click(language, kNext);
         return WaitForPage(test.wizard_, L"LoadingPage") != nullptr;
       },
       {{"Quillara Web", "1"}, {"Quillara Web", "5"}}},
      {"the license page",
       json::object(),
       [](QuitTest& test, HWND language) {
         Click(language, kNext);
         return WaitForPage(test.wizard_, L"LicensePage") != nullptr;
       },
       {{"Quillara Web", "1"}, {"Quillara Web", "5"}}},
      {"the first offer page",
       json::object(),
       [](QuitTest& test, HWND language) {
         Click(language, kNext);
         HWND license = WaitForPage(test.wizard_, L"LicensePage");
         return license != nullptr && PageName(test.Press(license, kAgree)) == L"ProductPage";
       },
       {{"Quillara Web", "1"}, {"Quillara Web", "5"}, {"a", "5"}}},
      // The declined offer has had its last word: only the one on screen quits.
      {"the second offer page",
       json::object(),
       [](QuitTest& test, HWND language) {
         Click(language, kNext);
         HWND license = WaitForPage(test.wizard_, L"LicensePage");
         if (license == nullptr) return false;
         HWND first = test.Press(license, kAgree);
         return first != nullptr && PageName(test.Press(first, kDecline)) == L"ProductPage";
       },
       {{"Quillara Web", "1"}, {"Quillara Web", "5"}, {"a", "4"}, {"b", "5"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage);
    records_ = ServerRecords();  // what earlier cases sent is not this one's
    HWND language = Start(kTwoOffers, c.rules);
    ASSERT_NE(language, nullptr);
    ASSERT_TRUE(c.reach(*this, language));
    EXPECT_EQ(CloseAndAnswer(), kExitQuestion);
    EXPECT_EQ(installer_->WaitForExit(15s), DWORD{0}) << "the wizard ends";
    EXPECT_EQ(Events(), c.events);
    ExpectNoWorkFolderLeft();
    installer_.reset();
  }
}

// Three offers shown, two of them accepted: the quit reports each in the order shown,
// then the product, and a slow analytics server shows that each event waits for the
// one before it to end.
TEST_F(QuitTest, WithThreeOffersShownEachQuitEventWaitsForTheOneBefore) {
  constexpr int kAnswerMs = 700;
  const json campaign = {{"f", {{"m", 3}}}, {"o", {Offer("a", 1), Offer("b", 2), Offer("c", 3)}}};
  HWND language = Start(campaign, {{"/zbd", {{"delay_ms", kAnswerMs}}}});
  ASSERT_NE(language, nullptr);
  Click(language, kNext);
  HWND page = WaitForPage(wizard_, L"LicensePage");
  ASSERT_NE(page, nullptr);
  page = Press(page, kAgree);
  for (int accepted = 0; accepted < 2; ++accepted) {
    ASSERT_EQ(PageName(page), L"ProductPage");
    page = Press(page, kAccept);
  }
  ASSERT_EQ(PageName(page), L"ProductPage") << "the third offer is on screen";
  ASSERT_EQ(WaitForEvents(records_, 1).size(), 1u);

  EXPECT_EQ(CloseAndAnswer(), kExitQuestion);
  EXPECT_EQ(installer_->WaitForExit(30s), DWORD{0});
  std::vector<std::pair<std::string, double>> quits;  // (id, when the server heard it)
  for (const auto& request : records_.New()) {
    if (request["path"] != "/zbd") continue;
    const auto body = json::parse(request["body"].get<std::string>());
    const auto record = json::parse(body.at("data").get<std::string>());
    if (record.value("6", "") == "5") quits.emplace_back(record.value("5", ""), request["time"].get<double>());
  }
  ASSERT_EQ(quits.size(), 4u);
  const std::vector<std::string> order = {quits[0].first, quits[1].first, quits[2].first, quits[3].first};
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "Quillara Web"}));
  for (std::size_t i = 1; i < quits.size(); ++i)
    EXPECT_GE(quits[i].second - quits[i - 1].second, kAnswerMs / 1000.0 * 0.9)
        << quits[i].first << " was sent before " << quits[i - 1].first << " had its answer";
  ExpectNoWorkFolderLeft();
}

// A campaign server that takes 20 s to answer: the wizard ends soon after the quit,
// with its start and quit events only.
TEST_F(QuitTest, QuittingWhileTheCampaignTakesItsTimeEndsSoon) {
  HWND language = Start(kTwoOffers, {{"/o", {{"delay_ms", 20000}}}});
  ASSERT_NE(language, nullptr);
  Click(language, kNext);
  ASSERT_NE(WaitForPage(wizard_, L"LoadingPage"), nullptr);
  ASSERT_EQ(WaitForEvents(records_, 1).size(), 1u);
  const auto quitAt = std::chrono::steady_clock::now();
  EXPECT_EQ(CloseAndAnswer(), kExitQuestion);
  EXPECT_EQ(installer_->WaitForExit(30s), DWORD{0});
  EXPECT_LT(std::chrono::steady_clock::now() - quitAt, 8s) << "the wizard waited for the campaign server";
  const EventList expected = {{"Quillara Web", "1"}, {"Quillara Web", "5"}};
  EXPECT_EQ(Events(), expected);
  ExpectNoWorkFolderLeft();
}

// Escape as a key press on the page: the title bar's question, and Escape in the
// question is Cancel.
TEST_F(QuitTest, EscapeAsksTheExitQuestionAndEscapeCancelsIt) {
  HWND language = Start(kTwoOffers, json::object());
  ASSERT_NE(language, nullptr);
  Click(language, kNext);
  HWND license = WaitForPage(wizard_, L"LicensePage");
  ASSERT_NE(license, nullptr);
  const auto pressEscape = [](HWND control) { ::PostMessageW(control, WM_KEYDOWN, VK_ESCAPE, 0x00010001); };
  pressEscape(::GetDlgItem(license, kAgree));
  HWND question = WaitForMessageBox(installer_->pid(), wizard_, 3s);
  ASSERT_NE(question, nullptr) << "Escape asks as the close button does";
  EXPECT_EQ(MessageBoxText(question), kExitQuestion);
  pressEscape(::GetDlgItem(question, IDCANCEL));
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (::IsWindow(question) && std::chrono::steady_clock::now() < deadline) ::Sleep(50);
  EXPECT_FALSE(::IsWindow(question)) << "Escape in the question cancels it";
  EXPECT_EQ(PageName(VisiblePage(wizard_)), L"LicensePage") << "the wizard goes on";
  EXPECT_EQ(CloseAndAnswer(), kExitQuestion);
  EXPECT_EQ(installer_->WaitForExit(15s), DWORD{0});
}

// The product's installer is running: the wizard asks the installing question, ends
// without waiting for the installer, which goes on and finishes on its own.
TEST_F(QuitTest, WhileTheProductInstallsTheWizardEndsAndTheInstallerFinishes) {
  const testing::PendingRenamesGuard restoreRenames;
  ::SetEnvironmentVariableW(L"OSTRANE_DEMO_WAIT_MS", L"6000");
  HWND language = Start(json::object());
  ASSERT_NE(language, nullptr);
  Click(language, kNext);
  HWND license = WaitForPage(wizard_, L"LicensePage");
  ASSERT_NE(license, nullptr);
  ASSERT_EQ(PageName(Press(license, kAgree)), L"DownloadPageISV");
  ASSERT_FALSE(log_.WaitForLineOf("QuillaraWebInstaller").empty()) << "the product's installer started";

  EXPECT_EQ(CloseAndAnswer(), kInstallingQuestion);
  EXPECT_EQ(installer_->WaitForExit(4s), DWORD{0}) << "the wizard does not wait for the installer";
  const EventList expected = {{"Quillara Web", "1"}, {"Quillara Web", "5"}};
  EXPECT_EQ(Events(), expected);

  // The installer finishes what it began.
  const std::wstring product = product_.folder() + L"\\qlweb.exe";
  const auto installed = std::chrono::steady_clock::now() + 20s;
  while (::GetFileAttributesW(product.c_str()) == INVALID_FILE_ATTRIBUTES && std::chrono::steady_clock::now() < installed)
    ::Sleep(100);
  EXPECT_NE(::GetFileAttributesW(product.c_str()), INVALID_FILE_ATTRIBUTES);

  // A running installer cannot be deleted: whatever of the work folder is left is
  // scheduled for the next restart, and this test removes it itself.
  const std::wstring pending = testing::PendingRenames();
  for (const auto& folder : WorkFolders()) {
    if (before_.count(folder) != 0) continue;
    EXPECT_NE(pending.find(folder.substr(2)), std::wstring::npos) << "left without a deletion scheduled";
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  ExpectNoWorkFolderLeft();
}

// After the last page or an error nothing is asked, and the work folder goes whichever
// way the wizard is closed.
TEST_F(QuitTest, AfterTheFinishPageOrAnErrorNothingIsAsked) {
  struct Case {
    const char* stage;
    json rules;
    const wchar_t* page;
    bool closeButton;  // the error page's Close rather than the title bar
    EventList events;
  };
  const Case cases[] = {
      {"the finish page", json::object(), L"FinishPageISV", false, {{"Quillara Web", "1"}, {"Quillara Web", "3"}}},
      {"the error page, title bar",
       {{kProductDownload, {{"status", 404}}}},
       L"ErrorPage",
       false,
       {{"Quillara Web", "1"}, {"Quillara Web", "3"}}},
      {"the error page, its Close",
       {{kProductDownload, {{"status", 404}}}},
       L"ErrorPage",
       true,
       {{"Quillara Web", "1"}, {"Quillara Web", "3"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage);
    records_ = ServerRecords();
    HWND language = Start(json::object(), c.rules);
    ASSERT_NE(language, nullptr);
    Click(language, kNext);
    HWND license = WaitForPage(wizard_, L"LicensePage");
    ASSERT_NE(license, nullptr);
    HWND download = Press(license, kAgree);
    ASSERT_EQ(PageName(download), L"DownloadPageISV");
    HWND last = WaitForNextPage(wizard_, download, 60s);
    ASSERT_EQ(PageName(last), c.page);
    WaitForEvents(records_, c.events.size());
    if (c.closeButton) {
      Click(last, kClose);
      EXPECT_TRUE(installer_->WaitForExit(15s).has_value());
    } else {
      EXPECT_EQ(CloseAndAnswer(), L"");
      EXPECT_EQ(installer_->WaitForExit(15s), DWORD{0});
    }
    EXPECT_EQ(Events(), c.events);
    ExpectNoWorkFolderLeft();
    installer_.reset();
  }
}

// Finish, and the error page's Close: the window goes at once, and the process ends
// only after the events on their way have arrived. The analytics server refuses
// everything, so each event is tried twice, 5 s apart: the product's last event is
// sent just before the last page shows, and its second attempt comes after the click.
TEST_F(QuitTest, FinishAndCloseWaitForTheEventsOnTheirWay) {
  struct Case {
    const char* stage;
    json rules;
    const wchar_t* page;
    int button;
  };
  const json refused = {{"status", 500}};
  const Case cases[] = {
      {"Finish", {{"/zbd", refused}}, L"FinishPageISV", kFinish},
      {"the error page's Close", {{"/zbd", refused}, {kProductDownload, {{"status", 404}}}}, L"ErrorPage", kClose},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage);
    records_ = ServerRecords();
    HWND language = Start(kTwoOffers, c.rules);
    ASSERT_NE(language, nullptr);
    Click(language, kNext);
    HWND license = WaitForPage(wizard_, L"LicensePage");
    ASSERT_NE(license, nullptr);
    HWND first = Press(license, kAgree);
    ASSERT_EQ(PageName(first), L"ProductPage");
    HWND second = Press(first, kDecline);
    ASSERT_EQ(PageName(second), L"ProductPage");
    HWND download = Press(second, kAccept);
    ASSERT_EQ(PageName(download), L"DownloadPageISV");
    HWND last = WaitForNextPage(wizard_, download, 60s);
    ASSERT_EQ(PageName(last), c.page);

    Click(last, c.button);
    const auto hidden = std::chrono::steady_clock::now() + 3s;
    while (::IsWindowVisible(wizard_) && std::chrono::steady_clock::now() < hidden) ::Sleep(20);
    EXPECT_FALSE(::IsWindowVisible(wizard_)) << "the window goes at once";
    EXPECT_TRUE(installer_->WaitForExit(60s).has_value());
    const EventList once = {{"Quillara Web", "1"}, {"Quillara Web", "3"}, {"a", "4"}, {"b", "3"}};
    EventList twice;
    for (const auto& event : once) twice.insert(twice.end(), 2, event);
    EXPECT_EQ(Events(), twice) << "every event was tried a second time before the process ended";
    EXPECT_FALSE(log_.WaitForLineOf("b.exe").empty()) << "the accepted offer ran";
    ExpectNoWorkFolderLeft();
    installer_.reset();
  }
}

}  // namespace
}  // namespace ostrane::e2e
