// What the wizard reports to the analytics server, read back from the test server's
// request records.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "e2e_environment.h"
#include "system/digest.h"
#include "e2e_server.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;
using nlohmann::json;
using testing::ServerRecords;
using testing::ServerRules;

constexpr int kNext = 1010;

std::string MachineGuid() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS)
    return {};
  char value[128] = {};
  DWORD size = sizeof value - 1;
  const LONG status = ::RegQueryValueExA(key, "MachineGuid", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::string(value) : std::string();
}

// The campaign takes its time, so that the wizard is still on the loading page
// when it is closed.
class AnalyticsTest : public ::testing::Test {
 protected:
  void StartWizardAndPressNext() {
    before_ = WorkFolders();
    wizard_ = installer_.WaitForDialog(kWizardCaption);
    ASSERT_NE(wizard_, nullptr);
    HWND language = WaitForPage(wizard_, L"LanguagePageQL");
    ASSERT_NE(language, nullptr);
    Click(language, kNext);
    ASSERT_NE(WaitForPage(wizard_, L"LoadingPage"), nullptr);
  }
  std::wstring WorkFolder() const {
    for (const auto& folder : WorkFolders())
      if (before_.count(folder) == 0) return folder;
    return {};
  }

  ServerRules slowCampaign_{json{{"/o", {{"delay_ms", 2000}, {"body", "{}"}}}}};
  ServerRecords records_;
  Installer installer_{g_installerPath};
  HWND wizard_ = nullptr;
  std::set<std::wstring> before_;
};

TEST_F(AnalyticsTest, FirstNextReportsTheStartAndQuittingReportsTheEnd) {
  StartWizardAndPressNext();
  auto events = WaitForEvents(records_, 1);
  ASSERT_EQ(events.size(), 1u) << "event 1 of the main package";
  const json start = events[0].record;
  EXPECT_EQ(events[0].table, "zb_analytics");
  EXPECT_EQ(start["6"], "1");
  EXPECT_EQ(start["10"], 1);
  EXPECT_EQ(start["5"], "Quillara Web");
  EXPECT_EQ(start["22"], "Quillara Web");
  EXPECT_EQ(start["3"], "Quillara");
  EXPECT_EQ(start["4"], "QuillaraWeb");
  EXPECT_EQ(start["19"], "");
  EXPECT_EQ(start["21"], "");
  EXPECT_EQ(start["38"], "1");
  EXPECT_EQ(start.size(), 25u);
  const std::string guid = MachineGuid();
  ASSERT_FALSE(guid.empty());
  EXPECT_EQ(start["1"], guid);
  EXPECT_EQ(start["2"].get<std::string>().size(), 14u);
  EXPECT_EQ(events[0].authorization, "Signature=" + Sha256Hex(guid + start["2"].get<std::string>()));

  CloseAndConfirm(installer_, wizard_);
  EXPECT_EQ(installer_.WaitForExit(), DWORD{0});
  events = AnalyticsEvents(records_);
  ASSERT_EQ(events.size(), 2u) << "the quit event is sent before the process ends";
  EXPECT_EQ(events[1].record["6"], "5");
  EXPECT_EQ(events[1].record["2"], start["2"]) << "one run, one timestamp";
}

// The run's timestamp (the records' "2", the signature, "sessionid" and "pxl") is the
// time of the run's first use: a user who reads the language page for a while gets
// a time after that, not the time the window opened.
TEST_F(AnalyticsTest, TheRunsTimestampIsTakenWhenTheRunIsFirstUsedNotWhenItsWindowOpens) {
  wizard_ = installer_.WaitForDialog(kWizardCaption);
  ASSERT_NE(wizard_, nullptr);
  HWND language = WaitForPage(wizard_, L"LanguagePageQL");
  ASSERT_NE(language, nullptr);
  std::this_thread::sleep_for(2500ms);
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char afterTheWait[16] = {};
  std::snprintf(afterTheWait, sizeof afterTheWait, "%04u%02u%02u%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  Click(language, kNext);
  const auto events = WaitForEvents(records_, 1);
  ASSERT_EQ(events.size(), 1u);
  const std::string timestamp = events[0].record["2"].get<std::string>();
  ASSERT_EQ(timestamp.size(), 14u);
  EXPECT_GE(timestamp, std::string(afterTheWait)) << "taken before the user pressed Next";
  CloseAndConfirm(installer_, wizard_);
  EXPECT_EQ(installer_.WaitForExit(), DWORD{0});
}

// A send in flight when the user quits is waited for; then the process ends.
TEST_F(AnalyticsTest, QuittingWhileTheServerStallsWaitsForTheSendsAndEnds) {
  ServerRules rules(json{{"/o", {{"delay_ms", 2000}, {"body", "{}"}}}, {"/zbd", {{"delay_ms", 3000}}}});
  StartWizardAndPressNext();
  const std::wstring workFolder = WorkFolder();
  ASSERT_FALSE(workFolder.empty());
  const auto quitAt = std::chrono::steady_clock::now();
  CloseAndConfirm(installer_, wizard_);
  EXPECT_EQ(installer_.WaitForExit(30s), DWORD{0});
  EXPECT_GE(std::chrono::steady_clock::now() - quitAt, 2500ms) << "the quit waited for the stalled sends";
  const auto events = AnalyticsEvents(records_);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(::GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << "the work folder is gone";
}

}  // namespace
}  // namespace ostrane::e2e
