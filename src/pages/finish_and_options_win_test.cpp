// The finish pages and classic mode's option pages in a window of the test's own:
// what Finish starts, what Next stores in the settings, and what the pages do to
// the wizard around them.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "system/text_convert.h"
#include "pages/finish_page.h"
#include "pages/options_pages.h"
#include "res/resource.h"
#include "settings/configuration_manager.h"
#include "settings/wizard_type.h"
#include "testing/page_host.h"
#include "testing/settings_cleanup.h"
#include "winui/dpi.h"
#include "winui/unique_handle.h"
#include "testing/kit_paths.h"

namespace ostrane {
namespace {

const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new testing::SettingsWorkFolderCleanup);
const auto* const kClasses = ::testing::AddGlobalTestEnvironment(new testing::PageWindowClasses);

using testing::Click;
using testing::PressEnter;

// One settings field set for a scope and put back after it.
template <typename T>
class ScopedSetting {
 public:
  ScopedSetting(T ConfigurationManager::*field, T value)
      : settings_(ConfigurationManager::Instance()), field_(field), saved_(settings_.get()->*field) {
    settings_.get()->*field_ = std::move(value);
  }
  ~ScopedSetting() { settings_.get()->*field_ = std::move(saved_); }
  ScopedSetting(const ScopedSetting&) = delete;
  ScopedSetting& operator=(const ScopedSetting&) = delete;

 private:
  std::shared_ptr<ConfigurationManager> settings_;
  T ConfigurationManager::*field_;
  T saved_;
};

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

bool IsChecked(HWND button) { return ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// A click the button handles itself: a check box toggles, a radio button takes the choice.
void UserClick(HWND button) { ::SendMessageW(button, BM_CLICK, 0, 0); }

std::wstring RoamingAppData() {
  wchar_t* folder = nullptr;
  std::wstring path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder))) path = folder;
  ::CoTaskMemFree(folder);
  return path;
}

// (file, parameters) as the page handed them to its launcher.
using Started = std::pair<std::wstring, std::wstring>;

class FinishPageTest : public testing::PageHostTest {
 protected:
  template <typename Page>
  std::unique_ptr<Page> OpenWatched() {
    auto page = Open<Page>();
    page->SetLauncher([this](const std::wstring& file, const std::wstring& parameters) {
      started_.emplace_back(file, parameters);
    });
    return page;
  }

  std::vector<Started> started_;
};

TEST_F(FinishPageTest, IsvStartsTheProductWhileTheBoxIsChecked) {
  const std::wstring appData = RoamingAppData();
  ASSERT_FALSE(appData.empty());
  const std::vector<Started> product{{appData + L"\\Quillara Web\\qlweb.exe", L"/RUNONSTARTUP"}};
  const struct {
    const char* name;
    bool clearBox;
    bool byEnter;
    std::vector<Started> expected;
  } cases[] = {
      {"as the page starts", false, false, product},
      {"Enter", false, true, product},
      {"box cleared", true, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    started_.clear();
    pressed_.clear();
    const auto page = OpenWatched<FinishPageIsv>();
    if (c.clearBox) UserClick(page->Item(IDC_LAUNCH_CHECKBOX));
    if (c.byEnter) {
      PressEnter(page->hwnd(), page->hwnd());
    } else {
      Click(page->Item(IDC_FINISH));
    }
    EXPECT_EQ(started_, c.expected);
    EXPECT_EQ(pressed_, std::vector<ButtonType>{ButtonType::Finish});
  }
}

TEST_F(FinishPageTest, DlmRunsTheDownloadOrShowsItInItsFolder) {
  const std::wstring download = L"C:\\users\\Public\\Downloads\\Quillara Web Setup.exe";
  ScopedSetting<std::wstring> result(&ConfigurationManager::m_mainResultPath, download);
  // By its full path in the system's Windows folder: a bare name is looked up along
  // the search path.
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(::GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring explorer = std::wstring(windows) + L"\\explorer.exe";
  ASSERT_NE(::GetFileAttributesW(explorer.c_str()), INVALID_FILE_ATTRIBUTES);
  // The download page leaves the checked file held for the finish page; only a file
  // so held is opened.
  const auto hold = std::make_shared<int>();
  const struct {
    const char* name;
    int choose;  // 0: as the page starts
    bool held;
    std::vector<Started> expected;
  } cases[] = {
      {"launch", 0, true, {{download, L""}}},
      {"open folder", IDC_OPEN_FOLDER_RADIO, true, {{explorer, L"/select,\"" + download + L"\""}}},
      {"launch again", IDC_LAUNCH_RADIO, true, {{download, L""}}},
      {"launch a file nothing checked", 0, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    started_.clear();
    pressed_.clear();
    ConfigurationManager::Instance()->m_mainResultHold = c.held ? hold : nullptr;
    const auto page = OpenWatched<FinishPageDlm>();
    EXPECT_TRUE(IsChecked(page->Item(IDC_LAUNCH_RADIO)));
    EXPECT_FALSE(IsChecked(page->Item(IDC_OPEN_FOLDER_RADIO)));
    if (c.choose == IDC_LAUNCH_RADIO) UserClick(page->Item(IDC_OPEN_FOLDER_RADIO));  // away and back
    if (c.choose != 0) UserClick(page->Item(c.choose));
    Click(page->Item(IDC_FINISH));
    EXPECT_EQ(started_, c.expected);
    EXPECT_EQ(pressed_, std::vector<ButtonType>{ButtonType::Finish});
    if (c.held && c.choose != IDC_OPEN_FOLDER_RADIO)
      EXPECT_EQ(ConfigurationManager::Instance()->m_mainResultHold, nullptr) << "let go once opened";
  }
  ConfigurationManager::Instance()->m_mainResultHold.reset();
}

TEST_F(FinishPageTest, ReachingTheFinishPageTakesTheMinimiseButtonAway) {
  const std::function<std::unique_ptr<FinishPage>()> isv = [this] { return Open<FinishPageIsv>(); };
  const std::function<std::unique_ptr<FinishPage>()> dlm = [this] { return Open<FinishPageDlm>(); };
  for (const auto& open : {isv, dlm}) {
    ::SetWindowLongW(host_, GWL_STYLE, ::GetWindowLongW(host_, GWL_STYLE) | WS_MINIMIZEBOX);
    const auto page = open();
    SCOPED_TRACE(WideToUtf8(page->GetPageName()));
    const LONG before = ::GetWindowLongW(host_, GWL_STYLE);
    ASSERT_NE(before & WS_MINIMIZEBOX, 0);
    page->OnNavigateToPage();
    EXPECT_EQ(::GetWindowLongW(host_, GWL_STYLE), before & ~WS_MINIMIZEBOX) << "only that button goes";
  }
}

// Sets an environment variable for a scope and puts back what was there.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t previous[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(name, previous, MAX_PATH);
    if (length > 0 && length < MAX_PATH) previous_ = previous;
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(name_, previous_ ? previous_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> previous_;
};

// The file's UTF-16 text once something has written it, or empty after 15 seconds.
std::wstring WaitForText(const std::wstring& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  do {
    win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      std::wstring text(1024, L'\0');
      DWORD read = 0;
      if (::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr) &&
          read > 0) {
        text.resize(read / sizeof(wchar_t));
        return text;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

// The shell, not a test's launcher: a helper program of ours stands in for the product
// and writes down the command line it was started with.
TEST_F(FinishPageTest, WithoutAReplacementTheShellStartsTheProduct) {
  const std::wstring helper = testing::TestFilePath(OSTRANE_EXIT_WITH_PATH);
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring record = std::wstring(temp) + L"ostrane-finish-" + std::to_wstring(::GetCurrentProcessId());
  ::DeleteFileW(record.c_str());
  {
    ScopedVariable variable(L"OSTRANE_COMMAND_LINE_FILE", record);
    ScopedSetting<std::wstring> path(&ConfigurationManager::m_launchPath, helper);
    ScopedSetting<std::wstring> arguments(&ConfigurationManager::m_launchArgs, L"/RUNONSTARTUP");
    const auto page = Open<FinishPageIsv>();
    Click(page->Item(IDC_FINISH));
  }
  const std::wstring line = WaitForText(record);
  ::DeleteFileW(record.c_str());
  EXPECT_EQ(line, L"\"" + helper + L"\" /RUNONSTARTUP");
}

class OptionPagesTest : public testing::PageHostTest {};

using Options = std::array<bool, 8>;

TEST_F(OptionPagesTest, NextStoresEachBoxInItsOwnOption) {
  const std::function<std::unique_ptr<IPage>()> options = [this] { return Open<OptionsPageQLClassic>(); };
  const std::function<std::unique_ptr<IPage>()> configurations = [this] {
    return Open<ConfigurationsPageQLClassic>();
  };
  constexpr Options kOptionsOn{true, true, true, false, false, false, false, false};
  constexpr Options kConfigurationsOn{false, false, false, true, true, true, true, true};
  const struct {
    const char* name;
    std::function<std::unique_ptr<IPage>()> open;
    int cleared;  // 0: none
    bool byEnter;
    Options expected;
  } cases[] = {
      {"options untouched", options, 0, false, kOptionsOn},
      {"options by Enter", options, 0, true, kOptionsOn},
      {"option 1 cleared", options, IDC_OPTIONS_CHECK_1, false, {false, true, true}},
      {"option 2 cleared", options, IDC_OPTIONS_CHECK_2, false, {true, false, true}},
      {"option 3 cleared", options, IDC_OPTIONS_CHECK_3, false, {true, true, false}},
      {"configurations untouched", configurations, 0, false, kConfigurationsOn},
      {"configuration 1 cleared", configurations, IDC_CONFIGURATIONS_CHECK_1, false,
       {false, false, false, false, true, true, true, true}},
      {"configuration 2 cleared", configurations, IDC_CONFIGURATIONS_CHECK_2, false,
       {false, false, false, true, false, true, true, true}},
      {"configuration 3 cleared", configurations, IDC_CONFIGURATIONS_CHECK_3, false,
       {false, false, false, true, true, false, true, true}},
      {"configuration 4 cleared", configurations, IDC_CONFIGURATIONS_CHECK_4, false,
       {false, false, false, true, true, true, false, true}},
      {"configuration 5 cleared", configurations, IDC_CONFIGURATIONS_CHECK_5, false,
       {false, false, false, true, true, true, true, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // All off first: what is on afterwards, the page switched on.
    ScopedSetting<Options> stored(&ConfigurationManager::m_options, Options{});
    pressed_.clear();
    const auto page = c.open();
    if (c.cleared != 0) UserClick(page->Item(c.cleared));
    if (c.byEnter) {
      PressEnter(page->hwnd(), page->hwnd());
    } else {
      Click(page->Item(IDC_NEXT));
    }
    EXPECT_EQ(ConfigurationManager::Instance()->m_options, c.expected);
    EXPECT_EQ(pressed_, std::vector<ButtonType>{ButtonType::Next});
  }
}

TEST_F(OptionPagesTest, BackLeavesTheOptionsAlone) {
  constexpr Options kBefore{true, false, true, false, true, false, true, false};
  ScopedSetting<Options> stored(&ConfigurationManager::m_options, kBefore);
  const auto page = Open<ConfigurationsPageQLClassic>();
  UserClick(page->Item(IDC_CONFIGURATIONS_CHECK_1));
  Click(page->Item(IDC_BACK));
  EXPECT_EQ(ConfigurationManager::Instance()->m_options, kBefore);
  EXPECT_EQ(pressed_, std::vector<ButtonType>{ButtonType::Back});
}

TEST_F(OptionPagesTest, TitlesAreBoldAtHeightTwelveScaledByTheDpi) {
  const auto options = Open<OptionsPageQLClassic>();
  const auto configurations = Open<ConfigurationsPageQLClassic>();
  for (HWND title : {options->Item(IDC_OPTIONS_TITLE), configurations->Item(IDC_CONFIGURATIONS_TITLE)}) {
    SCOPED_TRACE(::GetDlgCtrlID(title));
    auto font = reinterpret_cast<HFONT>(::SendMessageW(title, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    ASSERT_NE(::GetObjectW(font, sizeof description, &description), 0) << "the page keeps its font alive";
    EXPECT_EQ(description.lfHeight, ::MulDiv(12, win::WindowDpi(nullptr), 96))
        << "twelve at 96 DPI, in proportion at any other";
    EXPECT_EQ(description.lfWeight, 1000);
  }
}

// A template's stand-in text: "… placeholder", or a bare key such as "LAUNCH_RADIO".
bool IsStandIn(const std::wstring& text) {
  if (text.find(L"placeholder") != std::wstring::npos) return true;
  if (text.find(L'_') == std::wstring::npos) return false;
  for (wchar_t c : text)
    if (!(c == L'_' || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))) return false;
  return true;
}

BOOL CALLBACK CollectStandIns(HWND child, LPARAM found) {
  const std::wstring text = WindowText(child);
  if (IsStandIn(text))
    reinterpret_cast<std::vector<std::string>*>(found)->push_back(std::to_string(::GetDlgCtrlID(child)) + " " +
                                                                   WideToUtf8(text));
  return TRUE;
}

class PageTextsTest : public testing::PageHostTest {};

// A key missing from every table, or bound to the wrong control, leaves the template's text.
TEST_F(PageTextsTest, EveryTextComesFromTheLanguage) {
  const std::function<std::unique_ptr<IPage>()> pages[] = {
      [this] { return Open<OptionsPageQLClassic>(); },
      [this] { return Open<ConfigurationsPageQLClassic>(); },
      [this] { return Open<FinishPageIsv>(); },
      [this] {
        ScopedSetting<int> type(&ConfigurationManager::m_wizardType, kWizardDlm);
        languages_ = MakeLanguages();
        return Open<FinishPageDlm>();
      },
  };
  for (const auto& open : pages) {
    const auto page = open();
    SCOPED_TRACE(WideToUtf8(page->GetPageName()));
    std::vector<std::string> standIns;
    ::EnumChildWindows(page->hwnd(), &CollectStandIns, reinterpret_cast<LPARAM>(&standIns));
    EXPECT_EQ(standIns, std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace ostrane
