// The real machine against Wine's registry and system. Keys are written under
// HKLM\SOFTWARE in both views and removed again by ScratchKey.
#include "eligibility/win32_machine.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "eligibility/registry_error.h"
#include "system/system_facts.h"
#include "system/text_convert.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

constexpr auto LM = RegistryRoot::LocalMachine;
constexpr auto kDefault = RegistryView::Default;
constexpr auto kNative64 = RegistryView::Native64;

// HKLM\SOFTWARE\OstraneTest-<pid>, written in either view; the destructor deletes it
// from both, so a failed assertion leaves nothing behind.
class ScratchKey {
 public:
  ScratchKey() : name_(L"OstraneTest-" + std::to_wstring(::GetCurrentProcessId())), path_(L"SOFTWARE\\" + name_) {}
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  ~ScratchKey() {
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      win::UniqueHkey key;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS)
        continue;
      ::RegDeleteTreeW(key.get(), nullptr);  // what is below the key, through a handle in the right view
      key.reset();
      ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), view, 0);
    }
  }

  const std::wstring& name() const { return name_; }
  const std::wstring& path() const { return path_; }
  std::wstring Below(const std::wstring& relative) const { return path_ + L"\\" + relative; }

  // Creates the key (or one below it) in the view; an empty handle when that failed.
  win::UniqueHkey Create(REGSAM view, const std::wstring& relative = {}) {
    const std::wstring path = relative.empty() ? path_ : Below(relative);
    win::UniqueHkey key;
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(),
                      nullptr);
    return key;
  }

 private:
  std::wstring name_;
  std::wstring path_;
};

LSTATUS SetValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  return ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

LSTATUS SetDword(HKEY key, const wchar_t* name, DWORD value) {
  return SetValue(key, name, REG_DWORD, &value, sizeof value);
}

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }

// ---- views and roots ----

TEST(Win32MachineTest, IsWow64WhenTheSystemHasAWow64Folder) {
  Win32Machine machine;
  // Only a 32-bit process on 64-bit Windows gets a folder here.
  wchar_t folder[MAX_PATH] = {};
  EXPECT_EQ(machine.IsWow64(), ::GetSystemWow64DirectoryW(folder, MAX_PATH) != 0);
}

TEST(Win32MachineTest, EachViewSeesOnlyWhatWasWrittenInIt) {
  Win32Machine machine;
  if (!machine.IsWow64()) GTEST_SKIP() << "the two views are one outside WOW64";
  ScratchKey scratch;
  {
    const auto only64 = scratch.Create(KEY_WOW64_64KEY, L"Only64");
    const auto only32 = scratch.Create(KEY_WOW64_32KEY, L"Only32");
    ASSERT_TRUE(only64 && only32);
    const auto top64 = scratch.Create(KEY_WOW64_64KEY);
    const auto top32 = scratch.Create(KEY_WOW64_32KEY);
    ASSERT_EQ(SetDword(top64.get(), L"Bits", 64), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(top32.get(), L"Bits", 32), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(top64.get(), L"Only64Value", 1), ERROR_SUCCESS);
  }

  struct Case {
    RegistryView view;
    const wchar_t* seen;
    const wchar_t* unseen;
    std::uint32_t bits;
    bool only64Value;
  };
  const Case cases[] = {
      {kDefault, L"Only32", L"Only64", 32, false},
      {kNative64, L"Only64", L"Only32", 64, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.view == kDefault ? "Default" : "Native64");
    EXPECT_TRUE(machine.KeyOpens(LM, scratch.Below(c.seen), c.view));
    EXPECT_FALSE(machine.KeyOpens(LM, scratch.Below(c.unseen), c.view));
    EXPECT_EQ(machine.Subkeys(LM, scratch.path(), c.view), std::vector<std::wstring>{c.seen});
    EXPECT_EQ(machine.ReadDword(LM, scratch.path(), c.view, L"Bits"), c.bits);
    EXPECT_EQ(machine.ValueExists(LM, scratch.path(), c.view, L"Only64Value"), c.only64Value);
    EXPECT_EQ(machine.ValueType(LM, scratch.path(), c.view, L"Only64Value"), c.only64Value ? kRegDword : kRegNone);
  }
  // The 32-bit view is the Wow6432Node branch of the 64-bit one.
  EXPECT_TRUE(machine.KeyOpens(LM, L"SOFTWARE\\Wow6432Node\\" + scratch.name() + L"\\Only32", kNative64));
}

TEST(Win32MachineTest, EachRootIsItsOwnPredefinedKey) {
  // A key that exists below one root only.
  struct Case {
    RegistryRoot root;
    const char* name;
    const wchar_t* own;
  };
  const Case cases[] = {
      {RegistryRoot::LocalMachine, "LocalMachine", L"HARDWARE\\DESCRIPTION"},
      {RegistryRoot::CurrentUser, "CurrentUser", L"Environment"},
      {RegistryRoot::ClassesRoot, "ClassesRoot", L"CLSID"},
      {RegistryRoot::Users, "Users", L".Default"},
      {RegistryRoot::CurrentConfig, "CurrentConfig", L"Software\\Fonts"},
  };
  Win32Machine machine;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& other : cases)
      EXPECT_EQ(machine.KeyOpens(c.root, other.own, kDefault), &other == &c) << Narrow(other.own);
    // An empty path is the root itself.
    EXPECT_TRUE(machine.KeyOpens(c.root, L"", kDefault));
    EXPECT_FALSE(machine.Subkeys(c.root, L"", kDefault).empty());
  }
}

// ---- values ----

class Win32MachineValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The process's own view, the one Default reads.
    const auto key = scratch.Create(KEY_WOW64_32KEY);
    ASSERT_TRUE(key);
    const HKEY k = key.get();
    const DWORD maxDword = 0xFFFFFFFFu;
    const std::uint64_t maxQword = UINT64_MAX;
    const BYTE bytes[] = {1, 2, 3};
    const std::wstring wide = L"Gr\u00fc\u00dfe \u65e5\u672c";
    ASSERT_EQ(SetValue(k, L"Text", REG_SZ, L"Quillara Web", sizeof L"Quillara Web"), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"Wide", REG_SZ, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t)), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"Unterminated", REG_SZ, L"abc", 3 * sizeof(wchar_t)), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"TwoZeros", REG_SZ, L"abc\0", 5 * sizeof(wchar_t)), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"Empty", REG_SZ, L"", sizeof L""), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"NoBytes", REG_SZ, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"Dword", REG_DWORD, &maxDword, sizeof maxDword), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"Qword", REG_QWORD, &maxQword, sizeof maxQword), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"Binary", REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(k, L"None", REG_NONE, nullptr, 0), ERROR_SUCCESS);
  }

  ScratchKey scratch;
  Win32Machine machine;
};

TEST_F(Win32MachineValuesTest, ReadsStringsWithoutTheirTerminatingZeros) {
  const struct {
    const wchar_t* name;
    std::wstring expected;
  } cases[] = {
      {L"Text", L"Quillara Web"},
      {L"Wide", L"Gr\u00fc\u00dfe \u65e5\u672c"},
      {L"Unterminated", L"abc"},
      {L"TwoZeros", L"abc"},
      {L"Empty", L""},
      {L"NoBytes", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    EXPECT_EQ(machine.ReadString(LM, scratch.path(), kDefault, c.name), c.expected);
  }
}

TEST_F(Win32MachineValuesTest, ReadsTheLargestDwordAndQword) {
  EXPECT_EQ(machine.ReadDword(LM, scratch.path(), kDefault, L"Dword"), 4294967295u);
  EXPECT_EQ(machine.ReadQword(LM, scratch.path(), kDefault, L"Qword"), 18446744073709551615ull);
}

TEST_F(Win32MachineValuesTest, TypesAndExistenceOfValues) {
  const struct {
    const wchar_t* name;
    std::uint32_t type;
    bool exists;
  } cases[] = {
      {L"Text", kRegSz, true},       {L"Dword", kRegDword, true}, {L"Qword", kRegQword, true},
      {L"Binary", kRegBinary, true}, {L"None", kRegNone, true},   {L"Missing", kRegNone, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    EXPECT_EQ(machine.ValueType(LM, scratch.path(), kDefault, c.name), c.type);
    EXPECT_EQ(machine.ValueExists(LM, scratch.path(), kDefault, c.name), c.exists);
  }
}

TEST_F(Win32MachineValuesTest, FailedReadsThrowWithTheirMessageAndCode) {
  const std::wstring here = scratch.path();
  const std::wstring nowhere = scratch.Below(L"Missing");
  const struct {
    const char* what;
    std::function<void()> read;
    const char* message;
    std::int32_t code;
  } cases[] = {
      {"string of a DWORD", [&] { machine.ReadString(LM, here, kDefault, L"Dword"); }, win32::kReadStringFailed,
       ERROR_UNSUPPORTED_TYPE},
      {"missing string", [&] { machine.ReadString(LM, here, kDefault, L"Missing"); }, win32::kReadStringFailed,
       ERROR_FILE_NOT_FOUND},
      {"DWORD of a string", [&] { machine.ReadDword(LM, here, kDefault, L"Text"); }, win32::kReadDwordFailed,
       ERROR_UNSUPPORTED_TYPE},
      {"DWORD of a QWORD", [&] { machine.ReadDword(LM, here, kDefault, L"Qword"); }, win32::kReadDwordFailed,
       ERROR_UNSUPPORTED_TYPE},
      {"QWORD of a DWORD", [&] { machine.ReadQword(LM, here, kDefault, L"Dword"); }, win32::kReadQwordFailed,
       ERROR_UNSUPPORTED_TYPE},
      {"missing QWORD", [&] { machine.ReadQword(LM, here, kDefault, L"Missing"); }, win32::kReadQwordFailed,
       ERROR_FILE_NOT_FOUND},
      {"string in a missing key", [&] { machine.ReadString(LM, nowhere, kDefault, L"Text"); }, win32::kOpenKeyFailed,
       ERROR_FILE_NOT_FOUND},
      {"DWORD in a missing key", [&] { machine.ReadDword(LM, nowhere, kDefault, L"Dword"); }, win32::kOpenKeyFailed,
       ERROR_FILE_NOT_FOUND},
      {"QWORD in a missing key", [&] { machine.ReadQword(LM, nowhere, kDefault, L"Qword"); }, win32::kOpenKeyFailed,
       ERROR_FILE_NOT_FOUND},
      {"existence in a missing key", [&] { machine.ValueExists(LM, nowhere, kDefault, L"Text"); },
       win32::kOpenKeyFailed, ERROR_FILE_NOT_FOUND},
      {"type in a missing key", [&] { machine.ValueType(LM, nowhere, kDefault, L"Text"); }, win32::kOpenKeyFailed,
       ERROR_FILE_NOT_FOUND},
      {"subkeys of a missing key", [&] { machine.Subkeys(LM, nowhere, kDefault); }, win32::kOpenKeyFailed,
       ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.read();
      ADD_FAILURE() << "no exception";
    } catch (const win32::RegistryError& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.code(), c.code);
    }
  }
}

// ---- subkeys ----

TEST(Win32MachineSubkeysTest, NamesAsStoredInEnumerationOrder) {
  ScratchKey scratch;
  // The longest name a key may have, so that the buffer must hold it exactly.
  const std::wstring longest = L"Mike" + std::wstring(251, L'x');
  for (const std::wstring& name : {std::wstring(L"Zulu"), longest, std::wstring(L"alpha")})
    ASSERT_TRUE(scratch.Create(KEY_WOW64_32KEY, name)) << Narrow(name);
  ASSERT_TRUE(scratch.Create(KEY_WOW64_32KEY, L"Zulu\\Below"));

  Win32Machine machine;
  // The registry keeps subkeys sorted without regard to case.
  EXPECT_EQ(machine.Subkeys(LM, scratch.path(), kDefault), (std::vector<std::wstring>{L"alpha", longest, L"Zulu"}));
  EXPECT_EQ(machine.Subkeys(LM, scratch.Below(L"alpha"), kDefault), std::vector<std::wstring>{});
}

// ---- hardware, version ----

TEST(Win32MachineTest, HardwareFactsArePlausible) {
  Win32Machine machine;
  // The bounds also catch a figure left in bytes.
  const Measured memory = machine.PhysicalMemoryMb();
  ASSERT_TRUE(memory.value.has_value()) << "error " << memory.error;
  EXPECT_GT(*memory.value, 0u);
  EXPECT_LT(*memory.value, 1ull << 24);  // 16 TiB

  const Measured disk = machine.FreeDiskMb();
  ASSERT_TRUE(disk.value.has_value()) << "error " << disk.error;
  EXPECT_EQ(disk.error, 0u);
  EXPECT_LT(*disk.value, 1ull << 30);  // 1 EiB

  const Machine::CpuSpeed cpu = machine.ProcessorMhz();
  EXPECT_FALSE(cpu.openFailed);
  ASSERT_TRUE(cpu.mhz.has_value());
  EXPECT_GT(*cpu.mhz, 100u);
  EXPECT_LT(*cpu.mhz, 100000u);
}

TEST(Win32MachineTest, OsVersionComparesMajorThenMinor) {
  // The running version as RtlGetVersion reports it.
  int major = 0, minor = 0;
  ASSERT_EQ(std::sscanf(OsVersionText().c_str(), "%d.%d", &major, &minor), 2) << OsVersionText();
  Win32Machine machine;
  EXPECT_TRUE(machine.IsOsVersionAtLeast(major, minor));
  EXPECT_TRUE(machine.IsOsVersionAtLeast(5, 1));
  EXPECT_FALSE(machine.IsOsVersionAtLeast(major, minor + 1));
  EXPECT_FALSE(machine.IsOsVersionAtLeast(major + 1, 0));
}

// ---- files, processes, clock ----

// A file of ours in the temp folder, deleted at the end.
class TempFile {
 public:
  TempFile() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"ostrane-machine-test-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { Delete(); }

  const std::wstring& path() const { return path_; }
  bool Create() {
    const win::UniqueFileHandle file(
        ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
  }
  void Delete() { ::DeleteFileW(path_.c_str()); }

 private:
  std::wstring path_;
};

TEST(Win32MachineTest, FileExistsUntilItIsDeleted) {
  TempFile file;
  ASSERT_TRUE(file.Create());
  Win32Machine machine;
  EXPECT_TRUE(machine.FileExists(file.path()));
  file.Delete();
  EXPECT_FALSE(machine.FileExists(file.path()));
}

TEST(Win32MachineTest, RunningProcessesIncludeThisProgram) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_NE(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const std::wstring full = path;
  const std::wstring self = full.substr(full.find_last_of(L'\\') + 1);

  Win32Machine machine;
  const std::vector<std::wstring> names = machine.RunningProcesses();
  EXPECT_NE(std::find(names.begin(), names.end(), self), names.end()) << Narrow(self);
}

TEST(Win32MachineTest, ClockGivesUtcSecondsAndTheLocalDate) {
  Win32Machine machine;
  EXPECT_LE(std::llabs(machine.NowSeconds() - static_cast<std::int64_t>(std::time(nullptr))), 60);

  // Today by another way; read around the call so that midnight cannot fail the test.
  const auto localDate = [] {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char text[16] = {};
    std::snprintf(text, sizeof text, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return std::string(text);
  };
  const std::string before = localDate();
  const std::string today = machine.TodayLocal();
  const std::string after = localDate();
  ASSERT_EQ(today.size(), 8u) << today;
  EXPECT_EQ(today.find_first_not_of("0123456789"), std::string::npos) << today;
  EXPECT_TRUE(today == before || today == after) << today << " vs " << before;
}

}  // namespace
}  // namespace ostrane
