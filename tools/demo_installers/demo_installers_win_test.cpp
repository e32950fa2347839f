// The demo programs as the wizard meets them under Wine: the product's installer run
// silently, the product it puts in place, an offer's installer under other names,
// and the ZIP-packed offer.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "settings/known_folders.h"
#include "winui/unique_handle.h"

#include "testing/kit_paths.h"

namespace ostrane {
namespace {

namespace fs = std::filesystem;

const std::wstring kInstaller = testing::TestFilePath(OSTRANE_DEMO_INSTALLER_PATH);
const std::wstring kProductBuilt = testing::TestFilePath(OSTRANE_DEMO_QLWEB_PATH);
const std::wstring kOffer = testing::TestFilePath(OSTRANE_DEMO_OFFER_PATH);
const std::wstring kBundle = testing::TestFilePath(OSTRANE_DEMO_BUNDLE_PATH);

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::string Utf8(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  std::string out(static_cast<size_t>(length) * 3, '\0');
  out.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(),
                                                       static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start) + " <no line end>");
  return lines;
}

// Started as the wizard starts installers: the environment is inherited.
win::UniqueKernelHandle Start(const std::wstring& program, std::wstring commandLine, DWORD* threadId = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    return {};
  }
  ::CloseHandle(process.hThread);
  if (threadId) *threadId = process.dwThreadId;
  return win::UniqueKernelHandle(process.hProcess);
}

// The exit code; nullopt when the program did not end within 30 s (a message box
// waiting for a click, for example).
std::optional<DWORD> Finish(HANDLE process) {
  if (::WaitForSingleObject(process, 30000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process, 1);
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  return code;
}

std::optional<DWORD> RunToEnd(const std::wstring& program, const std::wstring& commandLine) {
  auto process = Start(program, commandLine);
  if (!process) return std::nullopt;
  return Finish(process.get());
}

// A variable of this process, inherited by what it starts; the old value comes back
// at the end. nullptr clears it.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    std::wstring old(32767, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name, old.data(), static_cast<DWORD>(old.size()));
    if (length > 0 && length < old.size()) old_ = old.substr(0, length);
    ::SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
};

fs::path NewTempFile() {
  wchar_t folder[MAX_PATH] = {};
  wchar_t name[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  ::GetTempFileNameW(folder, L"odl", 0, name);
  return name;
}

// Each test starts with a fresh, empty log and without a product in the roaming
// profile, and leaves the profile as it found it: the product folder goes only when
// the test made it, and a product that was there is put back.
class DemoInstallersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring roaming = GetKnownFolder(FOLDERID_RoamingAppData);
    ASSERT_FALSE(roaming.empty());
    folder_ = roaming + L"\\Quillara Web";
    product_ = folder_ / L"qlweb.exe";
    keptAside_ = folder_ / L"qlweb.exe.kept-aside-by-test";
    folderExisted_ = fs::is_directory(folder_);
    if (fs::exists(product_)) {
      fs::rename(product_, keptAside_);
      productExisted_ = true;
    }
    prepared_ = true;
    ASSERT_FALSE(log_.empty());
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove(log_, ignored);
    if (!prepared_) return;
    if (!folderExisted_) {
      fs::remove_all(folder_, ignored);
      return;
    }
    fs::remove(product_, ignored);
    if (productExisted_) fs::rename(keptAside_, product_, ignored);
  }

  std::vector<std::string> LogLines() const { return Lines(ReadBytes(log_)); }

  fs::path folder_, product_, keptAside_;
  bool folderExisted_ = false, productExisted_ = false, prepared_ = false;
  const fs::path log_ = NewTempFile();
  ScopedVariable logVariable_{L"OSTRANE_DEMO_LOG", log_.c_str()};
  ScopedVariable exitCodeVariable_{L"OSTRANE_DEMO_EXIT_CODE", nullptr};
};

TEST_F(DemoInstallersTest, ASilentInstallPutsTheProductInTheRoamingProfile) {
  const std::wstring install = Quoted(kInstaller) + L" /S";
  ASSERT_EQ(RunToEnd(kInstaller, install), 0u);
  ASSERT_TRUE(fs::exists(product_));
  EXPECT_EQ(ReadBytes(product_), ReadBytes(kProductBuilt)) << "the installer carries the qlweb.exe of this build";
  // Again over the installed product, as a second wizard run would.
  ASSERT_EQ(RunToEnd(kInstaller, install), 0u);

  const std::wstring launch = Quoted(product_.wstring()) + L" /RUNONSTARTUP";
  EXPECT_EQ(RunToEnd(product_.wstring(), launch), 0u);

  const std::string installLine = "QuillaraWebInstaller: " + Utf8(install);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{installLine, installLine, "qlweb: " + Utf8(launch)}));
}

TEST_F(DemoInstallersTest, TheExitCodeATestAsksForIsReturned) {
  const struct {
    const wchar_t* requested;
    DWORD exitCode;
    bool installs;
  } cases[] = {
      {L"0", 0, true},
      {L"1", 1, false},
      {L"1603", 1603, false},
      {L"4294967295", 4294967295u, false},
      {L"4294967296", ERROR_INVALID_PARAMETER, false},  // beyond 32 bits
      {L"-1", ERROR_INVALID_PARAMETER, false},
      {L"1x", ERROR_INVALID_PARAMETER, false},
  };
  const std::wstring install = Quoted(kInstaller) + L" /S";
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.requested));
    std::error_code ignored;
    fs::remove(product_, ignored);
    ScopedVariable requested(L"OSTRANE_DEMO_EXIT_CODE", c.requested);
    EXPECT_EQ(RunToEnd(kInstaller, install), c.exitCode);
    EXPECT_EQ(fs::exists(product_), c.installs);
  }
  EXPECT_EQ(LogLines().size(), std::size(cases)) << "a failing run is recorded too";
}

BOOL CALLBACK KeepVisibleWindow(HWND window, LPARAM out) {
  if (!::IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

// The first visible window of a thread, waited for up to 10 s.
HWND WaitForWindow(DWORD threadId) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    HWND found = nullptr;
    ::EnumThreadWindows(threadId, KeepVisibleWindow, reinterpret_cast<LPARAM>(&found));
    if (found) return found;
    ::Sleep(100);
  }
  return nullptr;
}

TEST_F(DemoInstallersTest, WithoutTheSilentSwitchItSaysSoAndInstallsNothing) {
  DWORD thread = 0;
  auto process = Start(kInstaller, Quoted(kInstaller), &thread);
  ASSERT_TRUE(process);
  struct EndIfRunning {
    HANDLE process;
    ~EndIfRunning() {
      if (::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return;
      ::TerminateProcess(process, 1);
      ::WaitForSingleObject(process, 5000);
    }
  } ender{process.get()};

  const HWND box = WaitForWindow(thread);
  ASSERT_NE(box, nullptr) << "no message box";
  wchar_t title[64] = {};
  ::GetWindowTextW(box, title, static_cast<int>(std::size(title)));
  EXPECT_STREQ(title, L"Quillara Web Setup");
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(Finish(process.get()), 2u);
  EXPECT_FALSE(fs::exists(product_));
  EXPECT_EQ(LogLines().size(), 1u);
}

TEST_F(DemoInstallersTest, AnOfferIsRecordedUnderItsOwnFileName) {
  // Copies under the names the demo serves; started together, as the wizard does.
  struct Copy {
    fs::path path;
    std::wstring commandLine;
  };
  const fs::path folder = fs::temp_directory_path();
  Copy copies[] = {
      // The first argument is not the program's path: the name comes from the file.
      {folder / L"nimbus-notes-setup.exe", L"setup /silent /source=\u00fc\u2713"},
      {folder / L"copperleaf-setup.exe", L"\"" + (folder / L"copperleaf-setup.exe").wstring() + L"\" /S /aff=7"},
      {folder / L"fogbank-setup.exe", L"fogbank"},
  };
  struct Remover {
    const Copy* begin;
    const Copy* end;
    ~Remover() {
      std::error_code ignored;
      for (auto* c = begin; c != end; ++c) fs::remove(c->path, ignored);
    }
  } remover{std::begin(copies), std::end(copies)};

  for (const auto& copy : copies) {
    ASSERT_TRUE(::CopyFileW(kOffer.c_str(), copy.path.c_str(), FALSE)) << copy.path;
  }
  win::UniqueKernelHandle processes[std::size(copies)];
  for (size_t i = 0; i < std::size(copies); ++i) {
    processes[i] = Start(copies[i].path.wstring(), copies[i].commandLine);
    ASSERT_TRUE(processes[i]) << copies[i].path;
  }
  for (size_t i = 0; i < std::size(copies); ++i) EXPECT_EQ(Finish(processes[i].get()), 0u) << copies[i].path;

  std::vector<std::string> lines = LogLines();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "copperleaf-setup.exe: " + Utf8(copies[1].commandLine),
                       "fogbank-setup.exe: fogbank",
                       "nimbus-notes-setup.exe: setup /silent /source=\xc3\xbc\xe2\x9c\x93",
                   }));
}

TEST_F(DemoInstallersTest, WithoutALogTheProgramsStillSucceed) {
  ScopedVariable noLog(L"OSTRANE_DEMO_LOG", nullptr);
  EXPECT_EQ(RunToEnd(kOffer, L"offer"), 0u);
  EXPECT_EQ(RunToEnd(kInstaller, L"installer /S"), 0u);
  EXPECT_TRUE(fs::exists(product_));
  EXPECT_EQ(ReadBytes(log_), "");
}

// The ZIP's central directory: one entry's name, method and unpacked size.
struct ZipEntry {
  std::string name;
  std::uint16_t method;
  std::uint32_t size;
};

std::uint32_t Little(const std::string& bytes, size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::optional<std::vector<ZipEntry>> CentralDirectory(const std::string& zip) {
  const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos || end + 22 > zip.size()) return std::nullopt;
  const std::uint32_t count = Little(zip, end + 10, 2);
  size_t at = Little(zip, end + 16, 4);
  std::vector<ZipEntry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 46 > zip.size() || zip.compare(at, 4, "PK\x01\x02", 4) != 0) return std::nullopt;
    const std::uint32_t nameLength = Little(zip, at + 28, 2);
    if (at + 46 + nameLength > zip.size()) return std::nullopt;
    entries.push_back({zip.substr(at + 46, nameLength), static_cast<std::uint16_t>(Little(zip, at + 10, 2)),
                       Little(zip, at + 24, 4)});
    at += 46 + nameLength + Little(zip, at + 30, 2) + Little(zip, at + 32, 2);
  }
  return entries;
}

TEST(DemoBundleTest, HoldsAFolderAndTheOfferInstallerAsBundleSetup) {
  const std::string zip = ReadBytes(kBundle);
  ASSERT_GE(zip.size(), 4u);
  EXPECT_EQ(zip.substr(0, 4), std::string("PK\x03\x04", 4));

  const auto entries = CentralDirectory(zip);
  ASSERT_TRUE(entries);
  std::vector<std::string> programs;
  bool folder = false;
  for (const auto& entry : *entries) {
    SCOPED_TRACE(entry.name);
    EXPECT_TRUE(entry.method == 0 || entry.method == 8) << "stored or deflated, method " << entry.method;
    if (!entry.name.empty() && entry.name.back() == '/') folder = true;
    if (entry.name.ends_with(".exe")) {
      programs.push_back(entry.name);
      EXPECT_EQ(entry.size, fs::file_size(kOffer)) << "the offer installer of this build";
    }
  }
  EXPECT_TRUE(folder);
  EXPECT_EQ(programs, std::vector<std::string>{"bundle_setup.exe"});
}

}  // namespace
}  // namespace ostrane
