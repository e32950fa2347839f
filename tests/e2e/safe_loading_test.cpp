// The installer started from a folder where someone planted DLLs named like its
// imports: it must load the system's own and never one of those.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <vector>

#include "e2e_environment.h"
#include "testing/test_server.h"
#include "testing/kit_paths.h"
#include "testing/wine_check.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;

// version.dll and crypt32.dll are planted on Windows only. Under Wine, its own user32
// and gdi32 import advapi32, whose Wine build imports version.dll, so it is searched
// for before any code of ours runs; and Wine's own WinHTTP imports crypt32, which,
// with the override that prefers a program folder's DLLs, Wine takes from there.
// Windows' are known DLLs that import no such thing, and its search, restricted for
// the whole process, never looks there. That the installer itself leaves
// version.dll to after the search is restricted is shown by its import table below.
std::vector<const wchar_t*> Planted() {
  std::vector<const wchar_t*> names = {L"winhttp.dll", L"wininet.dll", L"gdiplus.dll", L"bcrypt.dll", L"wintrust.dll"};
  if (!testing::RunningUnderWine()) names.insert(names.end(), {L"version.dll", L"crypt32.dll"});
  return names;
}

// A folder like Downloads: the installer and the planted DLLs side by side; removed
// at the end with the mark file and the environment as it was.
class PlantedFolder {
 public:
  PlantedFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"ostrane-planted-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    installer_ = folder_ + L"\\QuillaraWebSetup.exe";
    copied_ = ::CopyFileW(g_installerPath.c_str(), installer_.c_str(), FALSE) != FALSE;
    for (const wchar_t* name : Planted()) {
      const std::wstring target = folder_ + L"\\" + name;
      copied_ = copied_ && ::CopyFileW((testing::TestFilePath(OSTRANE_PLANTED_DIR) + L"\\" + name).c_str(), target.c_str(),
                                       FALSE) != FALSE;
    }
    ::SetEnvironmentVariableW(L"OSTRANE_PLANTED_MARK", MarkPath().c_str());
  }
  ~PlantedFolder() {
    ::SetEnvironmentVariableW(L"OSTRANE_PLANTED_MARK", nullptr);
    for (const wchar_t* name : Planted()) ::DeleteFileW((folder_ + L"\\" + name).c_str());
    ::DeleteFileW(installer_.c_str());
    ::DeleteFileW(MarkPath().c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }
  bool ready() const { return copied_; }
  const std::wstring& installer() const { return installer_; }
  // What the planted DLLs wrote: empty unless one was loaded.
  std::wstring Marks() const {
    std::ifstream in(MarkPath().c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }

 private:
  std::wstring MarkPath() const { return folder_ + L"\\marks.txt"; }

  std::wstring folder_;
  std::wstring installer_;
  bool copied_ = false;
};

// Wine prefers a DLL of the program's folder only when told to before the test
// program starts (CTest's e2e_tests_planted_dlls does); Windows' search order would
// take it without being told.
bool WineTold() {
  if (!testing::RunningUnderWine()) return true;
  wchar_t overrides[512] = {};
  ::GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 512);
  return std::wstring(overrides).find(L"winhttp") != std::wstring::npos;
}

// The DLLs the program's import table names: they are resolved before main runs.
std::vector<std::string> StaticImports(const std::wstring& program) {
  std::ifstream in(program.c_str(), std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> names;
  if (image.size() < sizeof(IMAGE_DOS_HEADER)) return names;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
  const auto* sections = IMAGE_FIRST_SECTION(nt);
  // Relative virtual address to file offset.
  const auto offset = [&](DWORD rva) -> std::size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i)
      if (rva >= sections[i].VirtualAddress && rva < sections[i].VirtualAddress + sections[i].Misc.VirtualSize)
        return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
    return 0;
  };
  const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + offset(imports)); entry->Name;
       ++entry) {
    std::string name(image.data() + offset(entry->Name));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    names.push_back(name);
  }
  return names;
}

TEST(SafeLoadingTest, OnlyKnownSystemDllsAreImportedAtStart) {
  const auto imports = StaticImports(g_installerPath);
  ASSERT_FALSE(imports.empty());
  for (const auto& name : imports) {
    const bool known = name == "kernel32.dll" || name == "user32.dll" || name == "gdi32.dll" || name == "ole32.dll" ||
                       name == "advapi32.dll" || name == "shell32.dll" || name == "shlwapi.dll" ||
                       name == "oleaut32.dll" || name == "msvcrt.dll" || name == "comctl32.dll";
    EXPECT_TRUE(known)
        << name << " is resolved before the search is restricted";
  }
}

TEST(SafeLoadingTest, PlantedDllsBesideTheInstallerAreNeverLoaded) {
  ASSERT_TRUE(WineTold()) << "run with WINEDLLOVERRIDES preferring the planted DLLs (ctest -R planted)";
  PlantedFolder planted;
  ASSERT_TRUE(planted.ready());
  testing::ServerRules campaign(nlohmann::json{{"/o", {{"body", "{}"}}}});
  Installer installer(planted.installer());
  HWND wizard = installer.WaitForDialog(kWizardCaption);
  const std::wstring early = planted.Marks();
  ASSERT_NE(wizard, nullptr) << "the installer starts; loaded: " << std::string(early.begin(), early.end());
  HWND language = WaitForPage(wizard, L"LanguagePageQL");
  ASSERT_NE(language, nullptr);
  // Past the language page the installer posts to the server and draws pictures:
  // WinHTTP, the signature and GDI+ are in use by the license page.
  Click(language, 1010);
  ASSERT_NE(WaitForPage(wizard, L"LicensePage"), nullptr);
  CloseAndConfirm(installer, wizard);
  EXPECT_TRUE(installer.WaitForExit().has_value());
  const std::wstring marks = planted.Marks();
  EXPECT_TRUE(marks.empty()) << "loaded: " << std::string(marks.begin(), marks.end());
}

}  // namespace
}  // namespace ostrane::e2e
