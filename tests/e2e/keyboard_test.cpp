// A whole install run with the keyboard alone: keys go to the control that has the
// focus in the wizard, as the keyboard would send them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

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

constexpr int kAgree = 1050, kBack = 1051, kAccept = 1021, kDecline = 1022, kDisclaimer = 1042, kFinish = 1028;
constexpr wchar_t kExitQuestion[] = L"Are you sure you want to exit the installer?";

json Offer(const std::string& id, int vertical) {
  return json{{"ad", {{"o", id}, {"f", "flow"}}},
              {"ps", {{"i", id + ".png"}, {"dn", "Offer " + id}, {"u", "https://localhost/f/" + id + ".exe"},
                      {"p", "/from-campaign " + id}, {"v", vertical}}}};
}

class KeyboardTest : public ::testing::Test {
 protected:
  // The control with the keyboard focus in the wizard.
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(wizard_, nullptr), &info) ? info.hwndFocus : nullptr;
  }

  // A key pressed and released where the focus is. A chord with Shift goes in as
  // one run of keyboard input: the dialog manager asks the keyboard's state, and
  // a posted key would overtake a Shift still waiting in the input queue.
  void Press(WPARAM key, bool shift = false) {
    if (shift) {
      SendChordWithShift(key);
    } else {
      PressKey(wizard_, key);
    }
    ::Sleep(250);
  }
  static void SendChordWithShift(WPARAM key) {
    INPUT input[4]{};
    const WORD keys[4] = {VK_SHIFT, static_cast<WORD>(key), static_cast<WORD>(key), VK_SHIFT};
    for (int i = 0; i < 4; ++i) {
      input[i].type = INPUT_KEYBOARD;
      input[i].ki.wVk = keys[i];
      input[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    ::SendInput(4, input, sizeof input[0]);
  }

  // Tab until this control has the focus; false when it never comes within the
  // page's tab stops and links (no trap).
  bool TabTo(HWND page, int id, int most = 8) {
    for (int press = 0; press < most; ++press) {
      if (Focus() == ::GetDlgItem(page, id)) return true;
      Press(VK_TAB);
    }
    return Focus() == ::GetDlgItem(page, id);
  }

  HWND NextPage(HWND page, std::chrono::milliseconds patience = kPatience) {
    return WaitForNextPage(wizard_, page, patience);
  }

  InstalledProductGuard product_;
  ServerRecords records_;
  DemoLog log_;
  std::vector<std::unique_ptr<ServedFile>> served_;
  std::unique_ptr<ServerRules> rules_;
  std::unique_ptr<Installer> installer_;
  HWND wizard_ = nullptr;
};

TEST_F(KeyboardTest, AWholeRunWithTheKeyboardAlone) {
  const std::string offer = ReadBytes(testing::TestFilePath(OSTRANE_DEMO_DIR) + L"\\offer_installer.exe");
  ASSERT_FALSE(offer.empty());
  served_.push_back(std::make_unique<ServedFile>(
      L"product", L"QuillaraWebInstaller.exe",
      ReadBytes(testing::TestFilePath(OSTRANE_DEMO_DIR) + L"\\QuillaraWebInstaller.exe")));
  for (const wchar_t* name : {L"a.exe", L"b.exe"}) served_.push_back(std::make_unique<ServedFile>(name, offer));
  rules_ = std::make_unique<ServerRules>(
      json{{"/o", {{"body", json{{"f", {{"m", 3}}}, {"o", {Offer("a", 1), Offer("b", 2)}}}.dump()}}}});
  installer_ = std::make_unique<Installer>(g_installerPath);
  wizard_ = installer_->WaitForWindow([](HWND window) { return ClassName(window) == L"#32770"; });
  ASSERT_NE(wizard_, nullptr);
  ::SetForegroundWindow(wizard_);
  HWND page = WaitForPage(wizard_, L"LanguagePageQL");
  ASSERT_NE(page, nullptr);

  Press(VK_RETURN);  // Next
  page = WaitForPage(wizard_, L"LicensePage", 60s);
  ASSERT_NE(page, nullptr) << "Enter on the language page goes on";

  // Esc asks; Esc in the question cancels it.
  Press(VK_ESCAPE);
  HWND question = WaitForMessageBox(installer_->pid(), wizard_, 5s);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(MessageBoxText(question), kExitQuestion);
  PressKey(question, VK_ESCAPE);
  for (int wait = 0; wait < 50 && ::IsWindow(question); ++wait) ::Sleep(100);
  ASSERT_FALSE(::IsWindow(question));
  EXPECT_EQ(PageName(VisiblePage(wizard_)), L"LicensePage");

  // Through the license text and the disclaimer's links to Agree, one step back and on.
  ASSERT_TRUE(TabTo(page, kAgree)) << "Tab reaches Agree";
  Press(VK_TAB, true);
  EXPECT_EQ(Focus(), ::GetDlgItem(page, kBack)) << "Shift+Tab goes back one control";
  ASSERT_TRUE(TabTo(page, kAgree));
  Press(VK_SPACE);
  HWND first = NextPage(page);
  ASSERT_EQ(PageName(first), L"ProductPage");

  // A fresh offer page: the focus on the offer's text, Enter accepts nothing.
  ::Sleep(::GetDoubleClickTime() + 100);
  EXPECT_EQ(Focus(), ::GetDlgItem(first, kDisclaimer));
  Press(VK_RETURN);
  ::Sleep(500);
  EXPECT_EQ(VisiblePage(wizard_), first) << "Enter on an offer page answers nothing";
  ASSERT_TRUE(TabTo(first, kAccept));
  Press(VK_SPACE);
  HWND second = NextPage(first);
  ASSERT_EQ(PageName(second), L"ProductPage");

  ::Sleep(::GetDoubleClickTime() + 100);
  ASSERT_TRUE(TabTo(second, kDecline));
  Press(VK_RETURN);  // the focused button
  HWND download = NextPage(second);
  ASSERT_EQ(PageName(download), L"DownloadPageISV");
  HWND finish = NextPage(download, 60s);
  ASSERT_EQ(PageName(finish), L"FinishPageISV");

  ASSERT_TRUE(TabTo(finish, kFinish));
  Press(VK_RETURN);
  EXPECT_EQ(installer_->WaitForExit(), DWORD{0});

  EXPECT_NE(log_.WaitForLineOf("a.exe").find("/from-campaign a"), std::string::npos) << "the accepted offer ran";
  EXPECT_TRUE(log_.LineOf("b.exe").empty()) << "the declined one did not";
  std::vector<std::pair<std::string, std::string>> events;
  for (const auto& event : WaitForEvents(records_, 4)) events.emplace_back(event.id(), event.code());
  std::sort(events.begin(), events.end());
  const decltype(events) expected = {{"Quillara Web", "1"}, {"Quillara Web", "3"}, {"a", "3"}, {"b", "4"}};
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(WaitUntilNoProcessStartsWith(L"a.exe"));
}

}  // namespace
}  // namespace ostrane::e2e
