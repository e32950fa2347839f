// The whole run: downloads from the test server, the demo installers running for
// real, the finish page launching the installed product, and what the analytics
// server hears when things go wrong.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <optional>

#include "demo_files.h"
#include "demo_log.h"
#include "e2e_environment.h"
#include "e2e_server.h"
#include "system/digest.h"
#include "testing/kit_paths.h"
#include "testing/zip_builder.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;
using nlohmann::json;
using testing::ServedFile;
using testing::ServerRecords;
using testing::ServerRules;

constexpr int kNext = 1010, kAgree = 1050, kAccept = 1021, kSkipAll = 1048, kFinish = 1028, kLaunchCheckbox = 1044;
constexpr int kProgress = 1043;
constexpr int kErrorTitle = 1036, kErrorText = 1037;
constexpr int kOptionBoxes[] = {1056, 1057, 1058};
constexpr int kConfigurationBoxes[] = {1069, 1063, 1066, 1067, 1068};
constexpr char kProductDownload[] = "/endpoint/qlweb/os/riserollout/track/beta";

std::wstring DemoFile(const wchar_t* name) { return testing::TestFilePath(OSTRANE_DEMO_DIR) + L"\\" + name; }

// The DLM product in Downloads with its Mark of the Web, which Wine keeps as a file
// of its own beside it.
void RemoveDownload(const std::wstring& path) {
  ::DeleteFileW((path + L":Zone.Identifier").c_str());
  ::DeleteFileW(path.c_str());
}

// What the file's Zone.Identifier stream holds; empty when it has none.
std::string ZoneIdentifier(const std::wstring& path) {
  HANDLE stream = ::CreateFileW((path + L":Zone.Identifier").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return {};
  char text[1024];
  DWORD read = 0;
  if (!::ReadFile(stream, text, sizeof text, &read, nullptr)) read = 0;
  ::CloseHandle(stream);
  return std::string(text, read);
}

json Offer(const std::string& id, const std::string& url, json extra = json::object()) {
  json ps = {{"i", id + ".png"}, {"dn", "Offer " + id}, {"u", url}, {"p", "/from-campaign " + id}};
  ps.update(extra);
  return json{{"ad", {{"o", id}, {"f", "flow"}}}, {"ps", ps}};
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = WorkFolders();
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"OSTRANE_DEMO_EXIT_CODE", nullptr);
  }

  // Serves the product's installer and these offers' installer (the offer demo
  // program under each name) and starts the wizard on this campaign.
  void Start(const json& campaign, const std::vector<std::wstring>& offerFiles = {},
             const std::wstring& installer = {}, json rules = json::object()) {
    const std::string offerBytes = ReadBytes(DemoFile(L"offer_installer.exe"));
    ASSERT_FALSE(offerBytes.empty()) << "the demo installers are built";
    served_.push_back(std::make_unique<ServedFile>(L"product", L"QuillaraWebInstaller.exe",
                                                   ReadBytes(DemoFile(L"QuillaraWebInstaller.exe"))));
    for (const auto& name : offerFiles) served_.push_back(std::make_unique<ServedFile>(name, offerBytes));
    rules["/o"] = {{"body", campaign.dump()}};
    rules_ = std::make_unique<ServerRules>(rules);
    installer_ = std::make_unique<Installer>(installer.empty() ? g_installerPath : installer);
    wizard_ = installer_->WaitForWindow([](HWND window) { return ClassName(window) == L"#32770"; });
    ASSERT_NE(wizard_, nullptr);
    HWND language = WaitForPage(wizard_, L"LanguagePageQL");
    ASSERT_NE(language, nullptr);
    Click(language, kNext);
  }

  // Presses a button and waits for the page that follows.
  HWND Press(HWND page, int button) {
    Click(page, button);
    return WaitForNextPage(wizard_, page);
  }

  // The license page, then Accept on every offer page; the page after the offers.
  HWND ThroughTheOffers() {
    HWND page = WaitForPage(wizard_, L"LicensePage");
    if (page == nullptr) return nullptr;
    page = Press(page, kAgree);
    while (page != nullptr && PageName(page) == L"ProductPage") page = Press(page, kAccept);
    return page;
  }

  // Waits out the download page: the page that follows it.
  HWND AfterDownloads(HWND downloadPage) { return WaitForNextPage(wizard_, downloadPage, 60s); }

  std::wstring WorkFolder() const {
    for (const auto& folder : WorkFolders())
      if (before_.count(folder) == 0) return folder;
    return {};
  }

  std::vector<std::tuple<std::string, std::string, std::string>> EventsWithFailures() const {
    std::vector<std::tuple<std::string, std::string, std::string>> list;
    for (const auto& event : AnalyticsEvents(records_))
      list.emplace_back(event.id(), event.code(), event.record.value("12", ""));
    std::sort(list.begin(), list.end());
    return list;
  }

  // First made, last gone: the installer has ended before its folder is removed.
  InstalledProductGuard product_;
  ServerRecords records_;
  DemoLog log_;
  std::vector<std::unique_ptr<ServedFile>> served_;
  std::unique_ptr<ServerRules> rules_;  // the campaign and the test's own rules
  std::unique_ptr<Installer> installer_;
  HWND wizard_ = nullptr;
  std::set<std::wstring> before_;
};

TEST_F(InstallTest, WithoutOffersTheProductInstallsAndFinishLaunchesIt) {
  Start(json{{"l", "US"}});
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  HWND finish = AfterDownloads(download);
  ASSERT_EQ(PageName(finish), L"FinishPageISV") << ::testing::PrintToString(EventsWithFailures());
  EXPECT_EQ(log_.LineOf("QuillaraWebInstaller").substr(log_.LineOf("QuillaraWebInstaller").size() - 3), " /S");
  EXPECT_NE(::GetFileAttributesW((product_.folder() + L"\\qlweb.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  const std::wstring workFolder = WorkFolder();

  ASSERT_EQ(::SendMessageW(::GetDlgItem(finish, kLaunchCheckbox), BM_GETCHECK, 0, 0), BST_CHECKED);
  Click(finish, kFinish);
  EXPECT_EQ(installer_->WaitForExit(), DWORD{0});
  // The product was started from the roaming application data with its start-up switch.
  const std::string launched = log_.WaitForLineOf("qlweb");
  EXPECT_NE(launched.find("Quillara Web\\qlweb.exe"), std::string::npos) << launched;
  EXPECT_NE(launched.find("/RUNONSTARTUP"), std::string::npos) << launched;
  EXPECT_EQ(::GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << "Finish removes the work folder";
  const decltype(EventsWithFailures()) expected = {{"Quillara Web", "1", ""}, {"Quillara Web", "3", ""}};
  EXPECT_EQ(EventsWithFailures(), expected);
}

TEST_F(InstallTest, AFailedMainDownloadStillStartsTheOffersThenShowsTheError) {
  Start(json{{"f", {{"m", 3}}},
             {"o", {Offer("a", "https://localhost/f/offer-a.exe", {{"v", 1}}),
                    Offer("b", "https://localhost/f/offer-b.exe", {{"v", 2}})}}},
        {L"offer-a.exe", L"offer-b.exe"}, {},
        json{{"/endpoint/qlweb/os/riserollout/track/beta", {{"status", 404}}}});
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  HWND error = AfterDownloads(download);
  ASSERT_EQ(PageName(error), L"ErrorPage");
  EXPECT_EQ(ControlText(error, kErrorTitle), L"Error occurred while installing Quillara Web.");
  EXPECT_EQ(ControlText(error, kErrorText), L"Click on \"Close\" and try again later.");
  EXPECT_NE(log_.WaitForLineOf("offer-a.exe").find("/from-campaign a"), std::string::npos);
  EXPECT_NE(log_.WaitForLineOf("offer-b.exe").find("/from-campaign b"), std::string::npos);
  EXPECT_TRUE(log_.LineOf("QuillaraWebInstaller").empty());

  WaitForEvents(records_, 4);
  const auto events = EventsWithFailures();
  ASSERT_EQ(events.size(), 4u);
  // The main product's failure is reported with code 3 in this build.
  EXPECT_EQ(std::get<1>(events[0]), "1");
  EXPECT_EQ(std::get<1>(events[1]), "3");
  EXPECT_EQ(std::get<2>(events[1]).rfind("DOWNLOAD FAILED: Download failed: Server returned status code: 404", 0), 0u)
      << std::get<2>(events[1]);
  EXPECT_EQ(events[2], std::make_tuple(std::string("a"), std::string("3"), std::string()));
  EXPECT_EQ(events[3], std::make_tuple(std::string("b"), std::string("3"), std::string()));
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(installer_->WaitForExit(10s).has_value()) << "no question after an error";
}

TEST_F(InstallTest, AMainInstallerThatFailsStillStartsTheOffers) {
  ::SetEnvironmentVariableW(L"OSTRANE_DEMO_EXIT_CODE", L"1");
  // The offer's URL has no dotted host: it is taken as a file on the campaign server.
  Start(json{{"f", {{"m", 3}}}, {"o", {Offer("rel", "rel-offer")}}}, {L"rel-offer"});
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  HWND error = AfterDownloads(download);
  ASSERT_EQ(PageName(error), L"ErrorPage");
  WaitForEvents(records_, 3);
  const auto events = EventsWithFailures();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(std::get<2>(events[1]), "EXEC FAILED: exit code = 1");
  EXPECT_EQ(std::get<0>(events[2]), "rel");
  EXPECT_EQ(std::get<1>(events[2]), "3");
  EXPECT_EQ(RequestedPaths(records_, "/f/rel-offer").size(), 1u);
  // The offer was started, not awaited; it must be gone before the wizard removes
  // the work folder it runs from.
  EXPECT_FALSE(log_.WaitForLineOf("rel-offer").empty());
  EXPECT_TRUE(WaitUntilNoProcessStartsWith(L"rel-offer"));
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(installer_->WaitForExit(10s).has_value());
}

TEST_F(InstallTest, ClassicModeOptionsReachTheMainInstaller) {
  Start(json::object(), {}, VariantPath(L"Classic"));
  HWND warning = WaitForPage(wizard_, L"WarningPageQLClassic");
  ASSERT_NE(warning, nullptr);
  HWND page = Press(warning, kNext);
  ASSERT_EQ(PageName(page), L"LicensePage");
  page = Press(page, kAgree);
  ASSERT_EQ(PageName(page), L"OptionsPageQLClassic");
  for (const int box : kOptionBoxes) ::SendMessageW(::GetDlgItem(page, box), BM_SETCHECK, BST_UNCHECKED, 0);
  page = Press(page, kNext);
  ASSERT_EQ(PageName(page), L"ConfigurationsPageQLClassic");
  for (const int box : kConfigurationBoxes) ::SendMessageW(::GetDlgItem(page, box), BM_SETCHECK, BST_UNCHECKED, 0);
  page = Press(page, kNext);
  ASSERT_EQ(PageName(page), L"DownloadPageISV");
  ASSERT_EQ(PageName(AfterDownloads(page)), L"FinishPageISV");
  const std::string run = log_.LineOf("QuillaraWebInstaller");
  EXPECT_NE(run.find("\" /S /FORCEINSTALL 0000000101000000"), std::string::npos) << run;
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);  // the last page: no question
  EXPECT_TRUE(installer_->WaitForExit().has_value());
}

// Quitting stops the downloads: the running one ends, no other starts, the shown
// offers and the main product report event 5, and the work folder goes.
TEST_F(InstallTest, QuittingDuringADownloadStopsEverything) {
  Start(json{{"f", {{"m", 3}}}, {"o", {Offer("q", "https://localhost/f/offer-q.exe")}}}, {L"offer-q.exe"}, {},
        json{{"/endpoint/qlweb/os/riserollout/track/beta", {{"rate", 40000}}}});
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  const std::wstring workFolder = WorkFolder();
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  HWND question = WaitForMessageBox(installer_->pid(), wizard_);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(MessageBoxText(question), L"Are you sure you want to exit the installer?");
  Click(question, IDOK);
  EXPECT_EQ(installer_->WaitForExit(30s), DWORD{0});
  EXPECT_TRUE(RequestedPaths(records_, "/f/offer-q").empty()) << "no download after the quit";
  EXPECT_TRUE(log_.Lines().empty()) << "nothing ran";
  const decltype(EventsWithFailures()) expected = {
      {"Quillara Web", "1", ""}, {"Quillara Web", "5", ""}, {"q", "5", ""}};
  EXPECT_EQ(EventsWithFailures(), expected);
  EXPECT_EQ(::GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << "the work folder is gone";
}

// Only a package whose signature the system trusts, and whose signer and digest are
// the campaign's when it names them, runs; the others fail with the reason.
TEST_F(InstallTest, OnlyTheTrustedOfferRuns) {
  const std::string good = ReadBytes(DemoFile(L"offer_installer.exe"));
  const std::string unsignedProgram = ReadBytes(DemoFile(L"offer_installer_unsigned.exe"));
  std::string changed = good;
  const std::size_t stub = changed.find("This program");  // covered by the signature
  ASSERT_NE(stub, std::string::npos);
  changed[stub] = 't';
  // Batch lines that would write into the demo log, were they ever run: one file
  // behind a ZIP header, one plain.
  const std::string batch = "\r\n@echo off\r\necho batch-ran >> \"%OSTRANE_DEMO_LOG%\"\r\n";
  const auto zipped = testing::ZipBuilder().Add("setup.exe", good).Add("helper.dll", unsignedProgram).Build();
  served_.push_back(std::make_unique<ServedFile>(L"unsigned.exe", unsignedProgram));
  served_.push_back(std::make_unique<ServedFile>(L"untrusted.exe", ReadBytes(DemoFile(L"offer_installer_untrusted.exe"))));
  served_.push_back(std::make_unique<ServedFile>(L"changed.exe", changed));
  served_.push_back(std::make_unique<ServedFile>(L"evil.cmd", "PK\x03\x04" + batch));
  served_.push_back(std::make_unique<ServedFile>(L"notes.cmd", batch));
  served_.push_back(std::make_unique<ServedFile>(L"with-dll.zip", std::string(zipped.begin(), zipped.end())));
  const std::string digest = Sha256Hex(good);
  Start(json{{"f", {{"m", 10}}},
             {"o",
              {Offer("good", "https://localhost/f/good.exe",
                     {{"v", 1}, {"sha256", digest}, {"signer", "Ostrane Test Signer"}}),
               Offer("unsigned", "https://localhost/f/unsigned.exe", {{"v", 2}}),
               Offer("changed", "https://localhost/f/changed.exe", {{"v", 3}}),
               Offer("signer", "https://localhost/f/signer.exe", {{"v", 4}, {"signer", "Partner Ltd"}}),
               Offer("hash", "https://localhost/f/hash.exe", {{"v", 5}, {"sha256", std::string(64, '0')}}),
               Offer("untrusted", "https://localhost/f/untrusted.exe", {{"v", 6}}),
               Offer("pk-batch", "https://localhost/f/evil.cmd", {{"v", 7}}),
               Offer("batch", "https://localhost/f/notes.cmd", {{"v", 8}}),
               Offer("with-dll", "https://localhost/f/with-dll.zip", {{"v", 9}}),
               // Named like the product's download: it must not take the product's place.
               Offer("beta", "https://localhost/f/beta", {{"v", 10}})}}},
        {L"good.exe", L"signer.exe", L"hash.exe", L"beta"});
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  HWND finish = AfterDownloads(download);
  ASSERT_EQ(PageName(finish), L"FinishPageISV") << ::testing::PrintToString(EventsWithFailures());
  EXPECT_NE(log_.WaitForLineOf("good.exe").find("/from-campaign good"), std::string::npos);
  EXPECT_NE(log_.WaitForLineOf("beta.exe").find("/from-campaign beta"), std::string::npos)
      << "the offer named like the product ran";
  WaitForEvents(records_, 12);
  auto events = EventsWithFailures();
  // The reader's own words follow this one.
  for (auto& [id, code, text] : events)
    if (id == "pk-batch") text = text.substr(0, std::string("DOWNLOAD FAILED: Not trusted: the archive cannot be read").size());
  const decltype(EventsWithFailures()) expected = {
      {"Quillara Web", "1", ""},
      {"Quillara Web", "3", ""},
      {"batch", "-1", "EXEC FAILED: Not a program: notes.cmd is neither a Windows program nor an archive holding one"},
      {"beta", "3", ""},
      {"changed", "-1", "DOWNLOAD FAILED: Not trusted: the signature does not match the file"},
      {"good", "3", ""},
      {"hash", "-1", "DOWNLOAD FAILED: Not trusted: SHA-256 differs"},
      {"pk-batch", "-1", "DOWNLOAD FAILED: Not trusted: the archive cannot be read"},
      {"signer", "-1", "DOWNLOAD FAILED: Not trusted: signer is Ostrane Test Signer, expected Partner Ltd"},
      {"unsigned", "-1", "DOWNLOAD FAILED: Not trusted: no signature"},
      {"untrusted", "-1", "DOWNLOAD FAILED: Not trusted: the certificate chain is not trusted"},
      {"with-dll", "-1", "DOWNLOAD FAILED: Not trusted: helper.dll in the archive: no signature"},
  };
  EXPECT_EQ(events, expected);
  std::vector<std::string> ran;
  for (const auto& line : log_.Lines()) {
    if (line.find("/from-campaign") != std::string::npos) ran.push_back(line.substr(line.find("/from-campaign")));
    EXPECT_EQ(line.find("batch-ran"), std::string::npos) << "a batch file ran: " << line;
  }
  std::sort(ran.begin(), ran.end());
  EXPECT_EQ(ran, (std::vector<std::string>{"/from-campaign beta", "/from-campaign good"})) << "only trusted offers ran";
  // The product's own installer ran as the product, not the offer named like it.
  const std::string product = log_.LineOf("QuillaraWebInstaller");
  ASSERT_FALSE(product.empty()) << "the product's installer never ran";
  EXPECT_EQ(product.substr(product.size() - 3), " /S");
  EXPECT_TRUE(WaitUntilNoProcessStartsWith(L"good"));
  EXPECT_TRUE(WaitUntilNoProcessStartsWith(L"beta"));
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(installer_->WaitForExit(10s).has_value());
}

// A signed installer runs only a product signed by its own publisher: another
// publisher's signature, trusted as it may be, is refused, and nothing of it runs.
TEST_F(InstallTest, ASignedInstallersProductMustCarryItsOwnSigner) {
  served_.push_back(std::make_unique<ServedFile>(
      L"product", L"QuillaraWebInstaller_other_publisher.exe",
      ReadBytes(DemoFile(L"QuillaraWebInstaller_other_publisher.exe"))));
  Start(json{{"l", "US"}}, {}, VariantPath(L"Signed"),
        json{{kProductDownload, {{"body_file", "product/QuillaraWebInstaller_other_publisher.exe"}}}});
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  HWND error = AfterDownloads(download);
  EXPECT_EQ(PageName(error), L"ErrorPage");
  WaitForEvents(records_, 2);
  const decltype(EventsWithFailures()) expected = {
      {"Quillara Web", "1", ""},
      {"Quillara Web", "3",  // the product's failures are sent as code 3 in this build
       "DOWNLOAD FAILED: Not trusted: signer is Ostrane Other Publisher, expected Ostrane Test Signer"}};
  EXPECT_EQ(EventsWithFailures(), expected);
  EXPECT_EQ(log_.LineOf("QuillaraWebInstaller"), "") << "the other publisher's product never ran";
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(installer_->WaitForExit(10s).has_value());
}

// DLM leaves the product's installer in Downloads; the finish page runs it.
TEST_F(InstallTest, DlmDownloadsTheProductForTheFinishPageToRun) {
  const std::wstring downloads = KnownFolder(FOLDERID_Downloads);
  const std::wstring target = downloads + L"\\ostrane-e2e-tool.exe";
  RemoveDownload(target);
  Start(json{{"i", {{"ct", "Tool"}, {"cu", "https://localhost/f/tool-setup.exe"}, {"cf", "ostrane-e2e-tool.exe"}}}},
        {L"tool-setup.exe"}, VariantPath(L"DLM"));
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageDLM");
  HWND finish = AfterDownloads(download);
  ASSERT_EQ(PageName(finish), L"FinishPageDLM");
  EXPECT_NE(::GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ZoneIdentifier(target), "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://localhost/f/tool-setup.exe\r\n")
      << "marked as a browser marks a download";
  Click(finish, kFinish);  // the launch radio button is chosen
  EXPECT_EQ(installer_->WaitForExit(), DWORD{0});
  EXPECT_FALSE(log_.WaitForLineOf("ostrane-e2e-tool.exe").empty()) << "the downloaded installer ran";
  const decltype(EventsWithFailures()) expected = {{"", "1", ""}, {"Tool", "3", ""}};
  EXPECT_EQ(EventsWithFailures(), expected);
  RemoveDownload(target);
}

// DLM: the accepted offers are started once the product is downloaded, and a failed
// product download shows DLM's own error texts while the offers still run.
TEST_F(InstallTest, DlmStartsTheAcceptedOffersAndNamesItsOwnDownloadError) {
  struct Case {
    const char* what;
    json rules;
    const wchar_t* lastPage;
    const wchar_t* title;  // of the error page
    const wchar_t* text;
    const char* productFailure;  // the start of its event text
  };
  const Case cases[] = {
      {"the product downloads", json::object(), L"FinishPageDLM", L"", L"", ""},
      {"the product's download fails",
       {{"/f/tool-setup.exe", {{"status", 404}}}},
       L"ErrorPage",
       L"Error in downloading",
       L"Please try to download later",
       "DOWNLOAD FAILED: Download failed: Server returned status code: 404"},
  };
  const std::wstring target = KnownFolder(FOLDERID_Downloads) + L"\\ostrane-e2e-tool.exe";
  const json campaign = {
      {"i", {{"ct", "Tool"}, {"cu", "https://localhost/f/tool-setup.exe"}, {"cf", "ostrane-e2e-tool.exe"}}},
      {"f", {{"m", 2}}},
      {"o", {Offer("a", "https://localhost/f/offer-a.exe", {{"v", 1}}),
             Offer("b", "https://localhost/f/offer-b.exe", {{"v", 2}})}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveDownload(target);
    records_ = ServerRecords();
    log_.Clear();
    rules_.reset();  // before the files: dropping them later would undo the next case's
    served_.clear();
    Start(campaign, {L"tool-setup.exe", L"offer-a.exe", L"offer-b.exe"}, VariantPath(L"DLM"), c.rules);
    HWND download = ThroughTheOffers();
    ASSERT_EQ(PageName(download), L"DownloadPageDLM");
    HWND last = AfterDownloads(download);
    ASSERT_EQ(PageName(last), c.lastPage);
    if (*c.title != L'\0') {
      EXPECT_EQ(ControlText(last, kErrorTitle), c.title);
      EXPECT_EQ(ControlText(last, kErrorText), c.text);
    }
    EXPECT_NE(log_.WaitForLineOf("offer-a.exe").find("/from-campaign a"), std::string::npos);
    EXPECT_NE(log_.WaitForLineOf("offer-b.exe").find("/from-campaign b"), std::string::npos);
    WaitForEvents(records_, 4);
    const decltype(EventsWithFailures()) expected = {
        {"", "1", ""}, {"Tool", "3", ""}, {"a", "3", ""}, {"b", "3", ""}};
    auto events = EventsWithFailures();
    ASSERT_EQ(events.size(), expected.size()) << ::testing::PrintToString(events);
    // The product's failure text ends with what the transport said.
    EXPECT_EQ(std::get<2>(events[1]).rfind(c.productFailure, 0), 0u) << std::get<2>(events[1]);
    std::get<2>(events[1]).clear();
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(WaitUntilNoProcessStartsWith(L"offer-"));
    ::PostMessageW(wizard_, WM_CLOSE, 0, 0);  // the last page: no question
    EXPECT_EQ(installer_->WaitForExit(), DWORD{0});
    installer_.reset();
  }
  RemoveDownload(target);
}

// While the downloads run the close command is gone: Escape, which closes through it,
// does nothing. The finish and error pages bring it back. (Wine cannot read another
// process's system menu, so the command is seen through what Escape does.)
TEST_F(InstallTest, TheCloseCommandIsGoneWhileDownloadingAndBackOnTheLastPage) {
  const struct {
    const char* what;
    json rule;  // the product's download: slow enough to press a key meanwhile
    const wchar_t* lastPage;
  } cases[] = {
      {"finish page", {{"delay_ms", 3000}}, L"FinishPageISV"},
      {"error page", {{"delay_ms", 3000}, {"status", 404}}, L"ErrorPage"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    rules_.reset();
    served_.clear();
    Start(json::object(), {}, {}, json{{kProductDownload, c.rule}});
    HWND download = ThroughTheOffers();
    ASSERT_EQ(PageName(download), L"DownloadPageISV");
    PressKey(wizard_, VK_ESCAPE);
    EXPECT_EQ(WaitForMessageBox(installer_->pid(), wizard_, 1s), nullptr) << "Escape asks nothing while downloading";
    EXPECT_TRUE(installer_->Running());
    EXPECT_EQ(VisiblePage(wizard_), download);

    HWND last = AfterDownloads(download);
    ASSERT_EQ(PageName(last), c.lastPage);
    PressKey(wizard_, VK_ESCAPE);
    EXPECT_EQ(installer_->WaitForExit(15s), DWORD{0}) << "Escape closes the last page";
    installer_.reset();
  }
}

// A download without a size turns the bar into a marquee; the next download, with a
// size, turns it back into a bar that shows how far it has come.
TEST_F(InstallTest, TheBarIsAMarqueeWithoutASizeThenShowsTheNextDownloadsShare) {
  Start(json{{"f", {{"m", 1}}}, {"o", {Offer("a", "https://localhost/f/offer-a.exe", {{"v", 1}})}}}, {L"offer-a.exe"},
        {},
        json{{kProductDownload, {{"no_length", true}, {"rate", 200000}}}, {"/f/offer-a.exe", {{"rate", 80000}}}});
  HWND download = ThroughTheOffers();
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  HWND bar = ::GetDlgItem(download, kProgress);
  bool marqueeForTheProduct = false, positionForTheOffer = false;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!positionForTheOffer && VisiblePage(wizard_) == download && std::chrono::steady_clock::now() < deadline) {
    const bool offerStarted = !RequestedPaths(records_, "/f/offer-a.exe").empty();
    const bool marquee = (::GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
    const auto position = ::SendMessageW(bar, PBM_GETPOS, 0, 0);
    if (!offerStarted && marquee) marqueeForTheProduct = true;
    if (offerStarted && marqueeForTheProduct && !marquee && position > 0 && position < 100) positionForTheOffer = true;
    ::Sleep(20);
  }
  EXPECT_TRUE(marqueeForTheProduct) << "a marquee while the product's size is unknown";
  EXPECT_TRUE(positionForTheOffer) << "a position while the offer downloads";
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  if (HWND question = WaitForMessageBox(installer_->pid(), wizard_, 3s)) Click(question, IDOK);
  EXPECT_TRUE(installer_->WaitForExit(30s).has_value());
}

// The partner's date marker goes to the registry for the offers whose page was shown,
// not for those Skip All passed over.
TEST_F(InstallTest, PartnerMarkersAreWrittenOnlyForShownOffers) {
  // No marker of an earlier run, and none left by this one however it ends.
  struct MarkerKeys {
    MarkerKeys() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OstraneE2E"); }
    ~MarkerKeys() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OstraneE2E"); }
  } const markerKeys;
  const auto partner = [](const std::string& id, int vertical) {
    return Offer(id, "https://localhost/f/offer-" + id + ".exe",
                 {{"v", vertical}, {"pn", true}, {"pnr", "SOFTWARE\\OstraneE2E\\Shown\\" + id}});
  };
  const auto marker = [&](const wchar_t* name) -> std::optional<DWORD> {
    DWORD value = 0, size = sizeof value;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OstraneE2E\\Shown", name, RRF_RT_REG_DWORD, nullptr, &value,
                       &size) != ERROR_SUCCESS)
      return std::nullopt;
    return value;
  };
  const auto dateIn180Days = [] {
    const std::time_t then = std::time(nullptr) + 180 * 86400;
    std::tm local{};
    localtime_s(&local, &then);
    return static_cast<DWORD>((local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday);
  };
  const DWORD before = dateIn180Days();
  Start(json{{"f", {{"m", 3}}}, {"o", {partner("a", 1), partner("b", 2), partner("c", 3)}}});
  HWND license = WaitForPage(wizard_, L"LicensePage");
  ASSERT_NE(license, nullptr);
  HWND first = Press(license, kAgree);
  ASSERT_EQ(PageName(first), L"ProductPage");
  Click(first, kSkipAll);
  HWND download = WaitForNextPage(wizard_, first);
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  ASSERT_EQ(PageName(AfterDownloads(download)), L"FinishPageISV");
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  EXPECT_EQ(installer_->WaitForExit(), DWORD{0});

  const auto shown = marker(L"a");
  ASSERT_TRUE(shown.has_value()) << "the shown offer has its marker";
  EXPECT_TRUE(*shown == before || *shown == dateIn180Days()) << *shown;
  EXPECT_FALSE(marker(L"b").has_value()) << "passed over by Skip All";
  EXPECT_FALSE(marker(L"c").has_value()) << "passed over by Skip All";
}

}  // namespace
}  // namespace ostrane::e2e
