// The wizard at 150 % and 200 % against the same wizard at 100 %. Wine reads the
// screen DPI from the registry when a program starts, so each run sets it in the
// prefix before the installer starts and puts it back afterwards.
#include <windows.h>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <string>
#include <vector>

#include "e2e_environment.h"
#include "testing/wine_check.h"
#include "winui/unique_handle.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;

constexpr int kBottomBand = 1001, kPageBand = 1002, kPlaceholder = 1014, kNext = 1010, kAgree = 1050;

// HKCU\Control Panel\Desktop "LogPixels" for one scope. What was there before comes
// back, whatever its type, or the value goes when there was none.
class ScopedLogPixels {
 public:
  explicit ScopedLogPixels(DWORD dpi) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return;
    key_.reset(key);
    DWORD size = 0;
    if (::RegQueryValueExW(key, L"LogPixels", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      saved_.resize(size);
      had_ = ::RegQueryValueExW(key, L"LogPixels", nullptr, &type_, saved_.data(), &size) == ERROR_SUCCESS;
      saved_.resize(size);
    }
    set_ = ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
           ERROR_SUCCESS;
  }
  ~ScopedLogPixels() {
    if (!key_) return;
    if (had_) {
      ::RegSetValueExW(key_.get(), L"LogPixels", 0, type_, saved_.data(), static_cast<DWORD>(saved_.size()));
    } else {
      ::RegDeleteValueW(key_.get(), L"LogPixels");
    }
  }
  ScopedLogPixels(const ScopedLogPixels&) = delete;
  ScopedLogPixels& operator=(const ScopedLogPixels&) = delete;

  bool set() const { return set_; }

 private:
  win::UniqueHkey key_;
  bool had_ = false;
  bool set_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> saved_;
};

// A window's rectangle in the wizard's client coordinates.
RECT RectIn(HWND wizard, HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, wizard, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// What one run at a DPI measured, in pixels.
struct Layout {
  SIZE client{};  // the wizard's client area
  SIZE next{};    // the language page's Next button
  SIZE agree{};   // the license page's Agree button
  std::vector<std::wstring> problems;  // frame and pages that do not fit together
};

void CheckFrame(HWND wizard, HWND page, Layout& layout) {
  const std::wstring name = PageName(page);
  const RECT placeholder = RectIn(wizard, ::GetDlgItem(wizard, kPlaceholder));
  const RECT pageRect = RectIn(wizard, page);
  if (!::EqualRect(&pageRect, &placeholder)) layout.problems.push_back(name + L" does not cover the placeholder");
  const LONG ourBand = RectIn(wizard, ::GetDlgItem(wizard, kBottomBand)).top;
  const LONG pageBand = RectIn(wizard, ::GetDlgItem(page, kPageBand)).top;
  if (ourBand != pageBand)
    layout.problems.push_back(name + L": the wizard's band starts at " + std::to_wstring(ourBand) +
                              L", the page's at " + std::to_wstring(pageBand));
}

SIZE SizeOf(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Starts the wizard at this DPI, measures the language and license pages, and closes it.
void MeasureAt(DWORD dpi, Layout& layout) {
  const ScopedLogPixels logPixels(dpi);
  ASSERT_TRUE(logPixels.set());
  Installer installer(g_installerPath);
  HWND wizard = installer.WaitForDialog(kWizardCaption);
  ASSERT_NE(wizard, nullptr);
  RECT client{};
  ::GetClientRect(wizard, &client);
  layout.client = {client.right, client.bottom};

  HWND language = WaitForPage(wizard, L"LanguagePageQL");
  ASSERT_NE(language, nullptr);
  layout.next = SizeOf(::GetDlgItem(language, kNext));
  CheckFrame(wizard, language, layout);

  Click(language, kNext);
  HWND license = WaitForPage(wizard, L"LicensePage");
  ASSERT_NE(license, nullptr);
  layout.agree = SizeOf(::GetDlgItem(license, kAgree));
  CheckFrame(wizard, license, layout);

  CloseAndConfirm(installer, wizard);
  EXPECT_TRUE(installer.WaitForExit().has_value());
}

// Dialog units follow the font, whose metrics do not grow exactly with the DPI:
// within a tenth of the DPI's ratio.
void ExpectGrowth(LONG at96, LONG scaled, DWORD dpi, const char* what) {
  ASSERT_GT(at96, 0) << what;
  const double expected = dpi / 96.0;
  const double ratio = static_cast<double>(scaled) / at96;
  EXPECT_GT(ratio, expected * 0.9) << what << ": " << at96 << " px at 96 DPI, " << scaled << " px at " << dpi;
  EXPECT_LT(ratio, expected * 1.1) << what << ": " << at96 << " px at 96 DPI, " << scaled << " px at " << dpi;
}

TEST(HighDpiTest, FrameButtonsAndPagesGrowWithTheDpiAndStayTogether) {
  Layout base;
  MeasureAt(96, base);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(base.problems, std::vector<std::wstring>{});
  for (DWORD dpi : {144u, 192u}) {
    SCOPED_TRACE(dpi);
    Layout scaled;
    MeasureAt(dpi, scaled);
    if (HasFatalFailure()) return;
    // The band's top is rounded on two paths; 200 % is where they part.
    EXPECT_EQ(scaled.problems, std::vector<std::wstring>{});
    ExpectGrowth(base.client.cx, scaled.client.cx, dpi, "wizard width");
    ExpectGrowth(base.client.cy, scaled.client.cy, dpi, "wizard height");
    ExpectGrowth(base.next.cx, scaled.next.cx, dpi, "Next width");
    ExpectGrowth(base.next.cy, scaled.next.cy, dpi, "Next height");
    ExpectGrowth(base.agree.cx, scaled.agree.cx, dpi, "Agree width");
    ExpectGrowth(base.agree.cy, scaled.agree.cy, dpi, "Agree height");
  }
}

// Wine draws every program at the registry's DPI, manifest or not; Windows stretches
// a program that does not declare itself aware into a blurred bitmap.
TEST(HighDpiTest, TheManifestDeclaresSystemDpiAwareness) {
  HMODULE image = ::LoadLibraryExW(g_installerPath.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(image, found)));
  const std::string manifest(bytes, ::SizeofResource(image, found));
  ::FreeLibrary(image);

  tinyxml2::XMLDocument document;
  ASSERT_EQ(document.Parse(manifest.c_str(), manifest.size()), tinyxml2::XML_SUCCESS);
  const tinyxml2::XMLElement* awareness = nullptr;
  for (auto* application = document.RootElement()->FirstChildElement("application"); application != nullptr;
       application = application->NextSiblingElement("application")) {
    if (const auto* settings = application->FirstChildElement("windowsSettings"))
      awareness = settings->FirstChildElement("dpiAware");
    if (awareness != nullptr) break;
  }
  ASSERT_NE(awareness, nullptr) << "no windowsSettings/dpiAware in the manifest";
  EXPECT_STREQ(awareness->Attribute("xmlns"), "http://schemas.microsoft.com/SMI/2005/WindowsSettings");
  EXPECT_STREQ(awareness->GetText(), "true");
}

// Windows 10 (1607 and later) says how it treats a running window: the wizard must be
// system aware, drawn at the screen's DPI rather than stretched as a bitmap. Wine
// draws every program at the registry's DPI, so the question is asked on Windows.
TEST(HighDpiTest, WindowsDrawsTheWizardAtTheScreensDpi) {
  if (testing::RunningUnderWine()) GTEST_SKIP() << "Wine draws every program at the registry's DPI";
  using WindowContext = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
  using ContextAwareness = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  // Through a generic function pointer: FARPROC's own type says nothing of these.
  const auto windowContext = reinterpret_cast<WindowContext>(
      reinterpret_cast<void (*)()>(::GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
  const auto awarenessOf = reinterpret_cast<ContextAwareness>(
      reinterpret_cast<void (*)()>(::GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
  if (windowContext == nullptr || awarenessOf == nullptr)
    GTEST_SKIP() << "this Windows is older than Windows 10 1607 and cannot say";
  Installer installer(g_installerPath);
  HWND wizard = installer.WaitForDialog(kWizardCaption);
  ASSERT_NE(wizard, nullptr);
  EXPECT_EQ(awarenessOf(windowContext(wizard)), DPI_AWARENESS_SYSTEM_AWARE);
  CloseAndConfirm(installer, wizard);
  EXPECT_TRUE(installer.WaitForExit().has_value());
}

}  // namespace
}  // namespace ostrane::e2e
