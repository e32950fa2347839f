// Wizard pages in a top-level window of the test's own, as the wizard makes them:
// the real templates, the shipped texts in English for the settings' wizard type,
// GDI+ running. Register the window classes once per program:
//   const auto* const kClasses = ::testing::AddGlobalTestEnvironment(new PageWindowClasses);
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "flow/page_flow.h"
#include "locale/language_manager.h"
#include "locale/win32_locale_platform.h"
#include "settings/configuration_manager.h"
#include "testing/fake_locale_platform.h"
#include "winui/dpi.h"
#include "winui/gdiplus_image.h"

namespace ostrane::testing {

inline constexpr wchar_t kPageHostClass[] = L"OstranePageHost";

// What the installer sets up before any page exists.
class PageWindowClasses : public ::testing::Environment {
 public:
  void SetUp() override {
    INITCOMMONCONTROLSEX links{sizeof links, ICC_LINK_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&links));
    richEdit_ = ::LoadLibraryW(L"RICHED32.DLL");
    ASSERT_NE(richEdit_, nullptr);
    WNDCLASSW host{};
    host.lpfnWndProc = &::DefWindowProcW;
    host.hInstance = ::GetModuleHandleW(nullptr);
    host.lpszClassName = kPageHostClass;
    host.hbrBackground = ::GetSysColorBrush(COLOR_WINDOW);
    ASSERT_NE(::RegisterClassW(&host), 0);
  }
  void TearDown() override {
    ::UnregisterClassW(kPageHostClass, ::GetModuleHandleW(nullptr));
    if (richEdit_ != nullptr) ::FreeLibrary(richEdit_);
  }

 private:
  HMODULE richEdit_ = nullptr;
};

// A click as the page hears of it: BN_CLICKED from the button.
inline void Click(HWND button) {
  ::SendMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// A key as the wizard's message loop delivers it: through the page's dialog manager,
// with Shift held for the dialog manager to see when asked.
inline void PressKey(HWND page, HWND focus, WPARAM virtualKey, bool shift = false) {
  BYTE keys[256] = {};
  if (shift) {
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
  }
  MSG key{};
  key.hwnd = focus;
  key.message = WM_KEYDOWN;
  key.wParam = virtualKey;
  key.lParam = static_cast<LPARAM>(::MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC)) << 16 | 1;
  ::IsDialogMessageW(page, &key);
  if (shift) {
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
  }
}

inline void PressEnter(HWND page, HWND focus) { PressKey(page, focus, VK_RETURN); }

// A fresh host window per test; the buttons pages report are collected in pressed_.
class PageHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_.started());
    // Room for a whole page at 96 DPI, and in proportion at any other.
    const int dpi = win::WindowDpi(nullptr);  // the screen's
    host_ = ::CreateWindowExW(0, kPageHostClass, L"pages", WS_OVERLAPPEDWINDOW, 0, 0, ::MulDiv(700, dpi, 96),
                              ::MulDiv(520, dpi, 96), nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(host_, nullptr);
    ::ShowWindow(host_, SW_SHOW);
    languages_ = MakeLanguages();
  }
  void TearDown() override {
    if (host_ != nullptr) ::DestroyWindow(host_);
  }

  // As the wizard makes it, for the settings' wizard type, in English.
  std::shared_ptr<LanguageManager> MakeLanguages() {
    auto languages = std::make_shared<LanguageManager>(platform_, ConfigurationManager::Instance());
    FakeLanguageList list;
    languages->FillLanguageCombo(list);
    EXPECT_TRUE(languages->SetLanguage(L"English"));
    return languages;
  }

  // The wizard gives its pages a background colour; the pages' own colours show without one.
  template <typename Page>
  std::unique_ptr<Page> Open(std::optional<COLORREF> background = std::nullopt) {
    auto page = std::make_unique<Page>(languages_);
    if (background) page->SetBackgroundColour(*background);
    page->SetButtonHandler([this](ButtonType button) { pressed_.push_back(button); });
    EXPECT_TRUE(page->Create(host_));
    ::ShowWindow(page->hwnd(), SW_SHOW);
    return page;
  }

  win::GdiplusSession gdiplus_;
  Win32LocalePlatform platform_;
  HWND host_ = nullptr;
  std::shared_ptr<LanguageManager> languages_;
  std::vector<ButtonType> pressed_;
};

}  // namespace ostrane::testing
