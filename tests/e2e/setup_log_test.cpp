// The setup log of a whole run of the demo campaign, as a support person reads it:
// the offer the rules refused, the one the user declined, a download that needed
// the fallback, the product's installer and its exit code, and an event that never
// arrived.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "demo_files.h"
#include "demo_log.h"
#include "e2e_environment.h"
#include "e2e_server.h"
#include "testing/kit_paths.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;
using nlohmann::json;
using testing::ServedFile;
using testing::ServerRecords;
using testing::ServerRules;

constexpr int kNext = 1010, kAgree = 1050, kAccept = 1021, kDecline = 1022, kFinish = 1028;

std::wstring DemoFile(const wchar_t* name) { return testing::TestFilePath(OSTRANE_DEMO_DIR) + L"\\" + name; }

// The lines after the time and thread columns.
std::vector<std::string> LogLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto thread = line.find(" T");
    const auto body = thread == std::string::npos ? std::string::npos : line.find_first_not_of(' ', line.find(' ', thread + 1));
    lines.push_back(body == std::string::npos ? line : line.substr(body));
  }
  return lines;
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& start) {
  for (const auto& line : lines)
    if (line.rfind(start, 0) == 0) return true;
  return false;
}

TEST(SetupLogTest, TheDemoCampaignsRunIsInTheLogAFileNamedOnTheCommandLine) {
  InstalledProductGuard product;
  ServerRecords records;
  DemoLog demoLog;
  const std::string offer = ReadBytes(DemoFile(L"offer_installer.exe"));
  ASSERT_FALSE(offer.empty());
  std::vector<std::unique_ptr<ServedFile>> served;
  served.push_back(std::make_unique<ServedFile>(L"product", L"QuillaraWebInstaller.exe",
                                                ReadBytes(DemoFile(L"QuillaraWebInstaller.exe"))));
  for (const wchar_t* name : {L"nimbus-notes-setup.exe", L"copperleaf-setup.exe", L"brightline-setup.exe", L"fogbank-setup.exe"})
    served.push_back(std::make_unique<ServedFile>(name, offer));
  served.push_back(std::make_unique<ServedFile>(L"tidewater-vpn.zip", ReadBytes(DemoFile(L"offer_bundle.zip"))));
  // The analytics server refuses everything; the first try of the accepted offer's
  // download fails, so WinINet takes over.
  const ServerRules rules(json{{"/o", {{"body", ReadBytes(testing::TestFilePath(OSTRANE_DEMO_CAMPAIGN))}}},
                               {"/zbd", {{"status", 500}}},
                               {"/f/nimbus-notes-setup.exe", {{"status", 404}, {"times", 1}}}});

  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring logPath = std::wstring(temp) + L"ostrane e2e setup.log";
  // None from an earlier run, and gone however this one ends (after the installer,
  // which is made later and so ended first).
  struct RemovedFile {
    explicit RemovedFile(const std::wstring& path) : path(path) { ::DeleteFileW(path.c_str()); }
    ~RemovedFile() { ::DeleteFileW(path.c_str()); }
    std::wstring path;
  } const removeLog(logPath);
  const auto defaultLogs = SetupLogs();

  Installer installer(g_installerPath, L"/log \"" + logPath + L"\"");
  HWND wizard = installer.WaitForWindow([](HWND window) { return ClassName(window) == L"#32770"; });
  ASSERT_NE(wizard, nullptr);
  const auto press = [&](const wchar_t* pageName, int button) {
    HWND page = WaitForPage(wizard, pageName, 60s);
    if (page == nullptr) return false;
    Click(page, button);
    return WaitForNextPage(wizard, page, 60s) != nullptr;
  };
  ASSERT_TRUE(press(L"LanguagePageQL", kNext));
  ASSERT_TRUE(press(L"LicensePage", kAgree));
  ASSERT_TRUE(press(L"ProductPage", kAccept));   // Nimbus Notes
  ASSERT_TRUE(press(L"ProductPage", kDecline));  // Tidewater VPN, which passes over the rest
  ASSERT_NE(WaitForPage(wizard, L"FinishPageISV", 90s), nullptr);
  EXPECT_NE(demoLog.WaitForLineOf("nimbus-notes-setup.exe"), "") << "the offer ran";
  Click(VisiblePage(wizard), kFinish);
  EXPECT_EQ(installer.WaitForExit(60s), DWORD{0});

  const std::string text = ReadBytes(logPath);
  ASSERT_FALSE(text.empty()) << "the log is where /log said";
  EXPECT_EQ(SetupLogs(), defaultLogs) << "and nowhere else";
  const auto lines = LogLines(text);
  const std::string expected[] = {
      "start: command line: ",
      "log: this log: " + std::string(logPath.begin(), logPath.end()),
      "campaign: attempt 1 of 3: status 200",
      "rules: offer fogbank-cleaner: refused, SAME VERTICAL OFFER ALREADY PRESENT",
      "rules: offer nimbus-notes: accepted",
      "page: ProductPage shown",
      "offer: nimbus-notes: accepted by the user",
      "offer: tidewater-vpn: declined by the user",
      "offer: copperleaf-photo: passed over, ",
      "download: https://localhost/f/nimbus-notes-setup.exe over WinHTTP: failed after ",
      "download: https://localhost/f/nimbus-notes-setup.exe: falling back to WinINet after the WinHTTP failure",
      "download: https://localhost/f/nimbus-notes-setup.exe over WinINet: " + std::to_string(offer.size()) + " bytes in ",
      "verify: nimbus-notes-setup.exe: trusted, signed by Ostrane Test Signer",
      "verify: beta.exe: trusted",
      "launch: beta.exe: ended with exit code 0",
      "launch: nimbus-notes-setup.exe: started; its outcome is not awaited",
      "event: code 1 of the product: lost after 2 attempts (status 500)",
      "event: code 4 of offer tidewater-vpn: lost after 2 attempts (status 500)",
      "button: Finish on FinishPageISV",
      "clean-up: removing the work folder ",
  };
  for (const auto& start : expected) EXPECT_TRUE(HasLineStartingWith(lines, start)) << "no line: " << start;

  // What the analytics server's requests are signed with never reaches the log.
  const auto events = AnalyticsEvents(records);
  ASSERT_FALSE(events.empty());
  ASSERT_FALSE(events.front().authorization.empty());
  EXPECT_EQ(text.find(events.front().authorization), std::string::npos);

  // An offer's command line is logged as the campaign wrote it: the machine's GUID,
  // the run's timestamp and the campaign's values stay out of a file people attach to
  // support tickets.
  bool offerLaunched = false;
  const std::string values[] = {events.front().record["1"].get<std::string>(),
                                events.front().record["2"].get<std::string>(), "demo-publisher", "/cc=US"};
  ASSERT_FALSE(values[0].empty() || values[1].empty());
  for (const auto& line : lines) {
    if (line.rfind("launch: ", 0) != 0) continue;
    for (const auto& value : values) EXPECT_EQ(line.find(value), std::string::npos) << value << " in " << line;
    if (line.find("nimbus-notes-setup.exe\" ") == std::string::npos) continue;
    offerLaunched = true;
    EXPECT_TRUE(line.ends_with("\" /silent /source={pubid} /cc={cc} /session={sessionid} (as the campaign wrote "
                               "them; placeholders filled: sessionid, cc, pubid)"))
        << line;
  }
  EXPECT_TRUE(offerLaunched) << "no launch line of the offer";
}

}  // namespace
}  // namespace ostrane::e2e
