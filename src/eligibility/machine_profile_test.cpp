// Machine profiles: each fact reaches the described machine or the settings, keys land
// in the views a 32-bit installer sees them in, and a profile with a mistake is refused
// with the place of the mistake.
#include "eligibility/machine_profile.h"

#include <gtest/gtest.h>

#include <functional>

#include "build_config.h"
#include "eligibility/registry_error.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"

namespace ostrane {
namespace {

using nlohmann::json;
constexpr auto HKLM = RegistryRoot::LocalMachine;
constexpr auto HKCU = RegistryRoot::CurrentUser;
constexpr auto Default = RegistryView::Default;
constexpr auto Native64 = RegistryView::Native64;

TEST(MachineProfileTest, KeysLandInTheViewsRegeditShows) {
  const struct {
    const char* what;
    json profile;
    RegistryRoot root;
    const wchar_t* path;
    bool inDefault;
    bool inNative64;
  } cases[] = {
      {"HKLM software is the 64-bit branch", {{"registry", {{{"key", "HKLM\\SOFTWARE\\Vendor"}}}}}, HKLM,
       L"SOFTWARE\\Vendor", false, true},
      {"WOW6432Node is the installer's own view, without that component",
       {{"registry", {{{"key", "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Vendor\\App"}}}}}, HKLM,
       L"Software\\Vendor\\App", true, false},
      {"HKCU is shared", {{"registry", {{{"key", "hkcu\\Software\\Vendor"}}}}}, HKCU, L"Software\\Vendor", true, true},
      // HKCU\Software is one tree: its WOW6432Node is a key like any other, which
      // neither of the installer's candidates for "Vendor" reaches.
      {"an HKCU WOW6432Node key keeps its name",
       {{"registry", {{{"key", "HKCU\\Software\\WOW6432Node\\Vendor"}}}}}, HKCU,
       L"Software\\WOW6432Node\\Vendor", true, true},
      {"an HKCU WOW6432Node key is not the 32-bit Vendor",
       {{"registry", {{{"key", "HKCU\\Software\\WOW6432Node\\Vendor"}}}}}, HKCU, L"Software\\Vendor", false, false},
      {"an HKCU key is shared whatever view is named",
       {{"registry", {{{"key", "HKCU\\Software\\Vendor"}, {"view", "native64"}}}}}, HKCU, L"Software\\Vendor", true,
       true},
      {"HKLM outside software is shared", {{"registry", {{{"key", "HKLM\\SYSTEM\\Setup"}}}}}, HKLM, L"SYSTEM\\Setup",
       true, true},
      {"a view given is taken as written",
       {{"registry", {{{"key", "HKLM\\SOFTWARE\\WOW6432Node\\Vendor"}, {"view", "native64"}}}}}, HKLM,
       L"SOFTWARE\\WOW6432Node\\Vendor", false, true},
      {"32-bit Windows has one view", {{"wow64", false}, {"registry", {{{"key", "HKLM\\SOFTWARE\\Vendor"}}}}}, HKLM,
       L"SOFTWARE\\Vendor", true, false},
      {"32-bit Windows has one view, whatever view is named",
       {{"wow64", false}, {"registry", {{{"key", "HKLM\\SOFTWARE\\Vendor"}, {"view", "native64"}}}}}, HKLM,
       L"SOFTWARE\\Vendor", true, false},
      {"App Paths entries are 64-bit programs by default",
       {{"appPaths", {{{"name", "tool.exe"}, {"path", "C:\\Tool\\tool.exe"}}}}}, HKLM,
       L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tool.exe", false, true},
      {"an HKCU App Paths entry is shared",
       {{"appPaths", {{{"name", "tool.exe"}, {"path", "C:\\Tool\\tool.exe"}, {"root", "HKCU"}}}}}, HKCU,
       L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tool.exe", true, true},
  };
  for (const auto& c : cases) {
    MachineProfile profile = ReadMachineProfile(c.profile);
    EXPECT_EQ(profile.machine.KeyOpens(c.root, c.path, Default), c.inDefault) << c.what;
    EXPECT_EQ(profile.machine.KeyOpens(c.root, c.path, Native64), c.inNative64) << c.what;
  }
}

TEST(MachineProfileTest, ValuesKeepTheirTypes) {
  MachineProfile profile = ReadMachineProfile(
      {{"environment", {{"ProgramFiles", "C:\\Program Files"}}},
       {"registry",
        {{{"key", "HKCU\\Software\\Vendor"},
          {"values",
           {{"Edition", "Pro"},
            {"Level", {{"dword", 4294967295u}}},
            {"Installed", {{"qword", 1716379200000u}}},
            {"Path", {{"expand_sz", "%ProgramFiles%\\Vendor"}}},
            {"Unset", {{"expand_sz", "%NotSet%\\%programfiles%%"}}},
            {"Blob", {{"binary", "01ff"}}},
            {"Names", {{"multi_sz", {"a", "b"}}}},
            {"", {{"sz", "default value"}}}}}}}}});
  DescribedMachine& machine = profile.machine;
  const std::wstring key = L"Software\\Vendor";
  EXPECT_EQ(machine.ReadString(HKCU, key, Default, L"edition"), L"Pro");
  EXPECT_EQ(machine.ReadDword(HKCU, key, Native64, L"Level"), 4294967295u);
  EXPECT_EQ(machine.ReadQword(HKCU, key, Default, L"Installed"), 1716379200000u);
  EXPECT_EQ(machine.ReadString(HKCU, key, Default, L""), L"default value");
  EXPECT_EQ(machine.ValueType(HKCU, key, Default, L"Path"), kRegExpandSz);
  EXPECT_EQ(machine.ValueType(HKCU, key, Default, L"Blob"), kRegBinary);
  EXPECT_EQ(machine.ValueType(HKCU, key, Default, L"Names"), kRegMultiSz);
  EXPECT_THROW(machine.ReadString(HKCU, key, Default, L"Blob"), win32::RegistryError) << "only text values read as text";
  // An expand-string reads as text, its variables expanded as the system expands them.
  EXPECT_EQ(machine.ReadString(HKCU, key, Default, L"Path"), L"C:\\Program Files\\Vendor");
  EXPECT_EQ(machine.ReadString(HKCU, key, Default, L"Unset"), L"%NotSet%\\C:\\Program Files%");
}

// A file test resolves its path as Windows does before the file system is asked.
TEST(MachineProfileTest, FilePathsResolveAsWindowsResolvesThem) {
  MachineProfile profile = ReadMachineProfile({{"currentFolder", "C:\\Users\\Ana\\Downloads"},
                                               {"files", {"C:\\Program Files\\Vendor\\app.exe",
                                                          "\\\\server\\share\\tool.exe", "setup.exe"}}});
  const struct {
    const wchar_t* path;
    bool exists;
  } cases[] = {
      {L"C:\\Program Files\\Vendor\\app.exe", true},
      {L"c:/program files/vendor/APP.exe", true},
      {L"C:\\Program Files\\Other\\..\\Vendor\\.\\app.exe", true},
      {L"C:\\Program Files\\\\Vendor\\app.exe", true},
      {L"C:\\..\\Program Files\\Vendor\\app.exe", true},
      {L"..\\..\\..\\Program Files\\Vendor\\app.exe", true},
      {L"C:\\Users\\Ana\\Downloads\\setup.exe", true},
      {L"./setup.exe", true},
      {L"\\\\server\\share\\x\\..\\tool.exe", true},
      {L"\\\\server\\other\\..\\share\\tool.exe", false},  // ".." stops at the share
      {L"Vendor\\app.exe", false},
      {L"C:\\Program Files\\Vendor", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(profile.machine.FileExists(c.path), c.exists) << WideToUtf8(c.path);
  EXPECT_FALSE(ReadMachineProfile({{"files", {"C:\\a.exe"}}}).machine.FileExists(L"a.exe"))
      << "without a current folder a relative path names no file";
}

TEST(MachineProfileTest, FactsReachTheMachine) {
  const json full = {
      {"windows", "6.1.7601"},
      {"wow64", false},
      {"memoryMb", {{"error", 1450}}},
      {"freeDiskMb", 30000},
      {"processorMhz", {{"error", "open"}}},
      {"now", 1717243200},
      {"country", "BR"},
      {"files", {"C:\\Program Files\\Vendor\\app.exe"}},
      {"processes", {"explorer.exe", "vendor.exe"}},
      {"registry", {{{"key", "HKLM\\SOFTWARE\\Broken"}, {"values", {{"Edition", "x"}}}, {"unreadable", true}}}},
      {"appPaths", {{{"name", "gone.exe"}, {"path", "C:\\Gone\\gone.exe"}, {"file", false}}}},
  };
  MachineProfile profile = ReadMachineProfile(full);
  DescribedMachine& machine = profile.machine;
  EXPECT_EQ(profile.windowsVersion, "6.1.7601");
  EXPECT_EQ(MajorMinor(profile.windowsVersion), "6.1");
  EXPECT_TRUE(machine.IsOsVersionAtLeast(6, 1));
  EXPECT_FALSE(machine.IsOsVersionAtLeast(6, 2));
  EXPECT_FALSE(machine.IsWow64());
  EXPECT_EQ(machine.PhysicalMemoryMb().value, std::nullopt);
  EXPECT_EQ(machine.PhysicalMemoryMb().error, 1450u);
  EXPECT_EQ(machine.FreeDiskMb().value, std::optional<std::uint64_t>(30000));
  EXPECT_TRUE(machine.ProcessorMhz().openFailed);
  EXPECT_EQ(machine.NowSeconds(), 1717243200);
  EXPECT_EQ(machine.TodayLocal(), "20240601") << "the date of now, in UTC, unless given";
  EXPECT_EQ(profile.country, "BR");
  EXPECT_TRUE(machine.FileExists(L"c:\\program files\\vendor\\APP.EXE"));
  EXPECT_EQ(machine.RunningProcesses(), (std::vector<std::wstring>{L"explorer.exe", L"vendor.exe"}));
  EXPECT_THROW(machine.ReadString(HKLM, L"SOFTWARE\\Broken", Default, L"Edition"), win32::RegistryError);
  EXPECT_EQ(machine.ReadString(HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\gone.exe", Default, L""),
            L"C:\\Gone\\gone.exe");
  EXPECT_FALSE(machine.FileExists(L"C:\\Gone\\gone.exe")) << "\"file\": false registers a program that is not there";
  EXPECT_EQ(profile.settings.timestamp, "20240601120000");
}

// The settings the rules read ({commonpf}, the installer's version, the GUID and the
// run's time) come from the profile through the settings' own code.
TEST(MachineProfileTest, TheSettingsSeeTheProfile) {
  const struct {
    const char* what;
    json profile;
    std::function<void(ConfigurationManager&)> check;
  } cases[] = {
      {"defaults: this build's version, 64-bit folders", json::object(),
       [](ConfigurationManager& settings) {
         EXPECT_EQ(settings.m_fileVersion, Utf8ToWide(OSTRANE_VERSION_TEXT));
         EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonpf}\\A|{commonpf32}\\B|{localappdata}"),
                   L"C:\\Program Files\\A|C:\\Program Files (x86)\\B|C:\\Users\\User\\AppData\\Local");
         EXPECT_EQ(settings.GetTimestamp(), "20231114221320");
       }},
      {"32-bit: {commonpf} is the only Program Files",
       {{"wow64", false}, {"folders", {{"commonpf32", "D:\\Apps"}, {"commonpf64", "E:\\Unused"}}}},
       [](ConfigurationManager& settings) {
         EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonpf}|{commonpf64}"), L"D:\\Apps|{commonpf64}");
       }},
      {"installer block",
       {{"installer", {{"version", ""}, {"machineGuid", "{guid}"}, {"timestamp", "20240102030405"}}},
        {"folders", {{"programdata", "P:\\Data"}, {"commonappdata", "R:\\Roaming"}}}},
       [](ConfigurationManager& settings) {
         EXPECT_EQ(settings.m_fileVersion, L"");
         EXPECT_EQ(settings.GetMachineGuid(), "{guid}");
         EXPECT_EQ(settings.GetTimestamp(), "20240102030405");
         EXPECT_EQ(settings.ExpandPathPlaceholders(L"{programdata}|{commonappdata}"), L"P:\\Data|R:\\Roaming");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProfileEnvironment environment(ReadMachineProfile(c.profile).settings);
    ConfigurationManager settings(environment, BuildOptions{"ISV", true, false, L"c", L"d", L"w", true, ""});
    EXPECT_TRUE(settings.m_workFolder.empty()) << "a check makes no folders";
    c.check(settings);
  }
}

TEST(MachineProfileTest, AMistakeIsRefusedWithItsPlace) {
  const struct {
    json profile;
    const char* message;
  } cases[] = {
      {{{"wow46", true}}, "wow46: unknown key"},
      {{{"wow64", "yes"}}, "wow64: expected true or false, found string"},
      {{{"windows", "10"}}, "windows: expected \"major.minor\""},
      {{{"memoryMb", -1}}, "memoryMb: expected a whole number from 0, found number"},
      {{{"memoryMb", {{"code", 5}}}}, "memoryMb.code: unknown key"},
      {{{"processorMhz", {{"error", "slow"}}}}, "processorMhz.error: expected \"open\""},
      {{{"today", "2024-06-01"}}, "today: expected \"%Y%m%d\""},
      {{{"files", {"C:\\a", 5}}}, "files[1]: expected a string, found number"},
      {{{"registry", {{{"key", "HKXX\\Software"}}}}}, "registry[0].key: \"hkxx\" is not a registry root"},
      {{{"registry", {{{"key", "HKLM"}}}}}, "registry[0].key: expected a key below the root"},
      {{{"registry", {{{"key", "HKLM\\SOFTWARE\\"}}}}}, "registry[0].key: empty key name"},
      {{{"registry", {{{"key", "HKLM\\A"}, {"view", "wow64"}}}}}, "registry[0].view: expected \"default\""},
      {{{"registry", {{{"key", "HKLM\\A"}, {"values", {{"Level", {{"dword", 4294967296u}}}}}}}}},
       "registry[0].values.Level.dword: 4294967296 is above 4294967295"},
      {{{"registry", {{{"key", "HKLM\\A"}, {"values", {{"Level", {{"word", 1}}}}}}}}},
       "registry[0].values.Level.word: unknown value type"},
      {{{"registry", {{{"key", "HKLM\\A"}, {"values", {{"Level", 5}}}}}}}, "registry[0].values.Level: expected a string or"},
      {{{"appPaths", {{{"name", "a.exe"}}}}}, "appPaths[0].path: missing"},
      {{{"installer", {{"timestamp", "2024"}}}}, "installer.timestamp: expected \"%Y%m%d%H%M%S\""},
      {{{"folders", {{"desktop", "C:\\"}}}}, "folders.desktop: unknown key"},
      {json::array(), "profile: expected an object, found array"},
  };
  for (const auto& c : cases) {
    try {
      ReadMachineProfile(c.profile);
      ADD_FAILURE() << "accepted: " << c.profile.dump();
    } catch (const ProfileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
    }
  }
}

}  // namespace
}  // namespace ostrane
