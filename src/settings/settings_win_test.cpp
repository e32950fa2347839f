// The settings on a real (Wine) machine: folders, registry views, environment.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <regex>

#include "settings/configuration_manager.h"
#include "settings/known_folders.h"
#include "settings/win32_environment.h"
#include "system/text_convert.h"
#include "version.h"

namespace ostrane {
namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return std::wstring(value, length < MAX_PATH ? length : 0);
}

TEST(SettingsOnWindowsTest, CommonProgramFilesExpandsToProgramW6432UnderWow64) {
  const std::wstring programW6432 = EnvironmentValue(L"ProgramW6432");
  ASSERT_FALSE(programW6432.empty());
  Win32Environment machine;
  ConfigurationManager settings(machine, CompiledBuildOptions());
  EXPECT_EQ(settings.ExpandPathPlaceholders(L"{commonpf}\\App\\app.exe"), programW6432 + L"\\App\\app.exe");
  // Under WOW64 the 32-bit Program Files is a different folder.
  EXPECT_NE(settings.ExpandPathPlaceholders(L"{commonpf32}"), programW6432);
  ::RemoveDirectoryW(settings.m_workFolder.c_str());
}

TEST(SettingsOnWindowsTest, CommonAppDataIsTheRoamingFolder) {
  Win32Environment machine;
  ConfigurationManager settings(machine, CompiledBuildOptions());
  const std::wstring roaming = settings.ExpandPathPlaceholders(L"{commonappdata}");
  EXPECT_EQ(roaming, GetKnownFolder(FOLDERID_RoamingAppData));
  EXPECT_NE(roaming.find(L"AppData\\Roaming"), std::wstring::npos) << WideToUtf8(roaming);
  ::RemoveDirectoryW(settings.m_workFolder.c_str());
}

TEST(SettingsOnWindowsTest, MachineGuidComesFromTheSixtyFourBitView) {
  Win32Environment machine;
  const std::string guid = machine.ReadMachineGuid();
  EXPECT_TRUE(std::regex_match(guid, std::regex("[0-9a-fA-F]{8}-([0-9a-fA-F]{4}-){3}[0-9a-fA-F]{12}"))) << guid;

  // The 32-bit view has no such value, so reading the wrong view would come back empty.
  HKEY key = nullptr;
  DWORD size = 0;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_32KEY,
                      &key) == ERROR_SUCCESS) {
    EXPECT_NE(::RegQueryValueExA(key, "MachineGuid", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    ::RegCloseKey(key);
  }
}

TEST(SettingsOnWindowsTest, TempWorkFolderIsAFreshIsvFolderInTheTempPath) {
  wchar_t tempPath[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, tempPath);
  const std::wstring first = MakeTempWorkFolder();
  const std::wstring second = MakeTempWorkFolder();
  for (const auto& folder : {first, second}) {
    EXPECT_EQ(folder.rfind(std::wstring(tempPath) + L"ISV", 0), 0u) << WideToUtf8(folder);
    EXPECT_NE(folder.back(), L'\\');
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    ::RemoveDirectoryW(folder.c_str());
  }
  EXPECT_NE(first, second);
}

TEST(SettingsOnWindowsTest, IsvSettingsUseTheWorkFolderForDownloads) {
  Win32Environment machine;
  ConfigurationManager settings(machine, CompiledBuildOptions());
  EXPECT_FALSE(settings.m_workFolder.empty());
  EXPECT_EQ(settings.m_downloadFolder, settings.m_workFolder);
  EXPECT_EQ(settings.m_fileVersion, Utf8ToWide(OSTRANE_VERSION_STRING));  // our own resource, read back
  ::RemoveDirectoryW(settings.m_workFolder.c_str());
}

TEST(SettingsOnWindowsTest, UnwritableTempFolderLeavesIsvDownloadFolderEmpty) {
  // Point TMP and TEMP at a folder that does not exist: no temp file can be made there.
  wchar_t oldTmp[MAX_PATH] = {}, oldTemp[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"TMP", oldTmp, MAX_PATH);
  ::GetEnvironmentVariableW(L"TEMP", oldTemp, MAX_PATH);
  ::SetEnvironmentVariableW(L"TMP", L"C:\\no\\such\\folder");
  ::SetEnvironmentVariableW(L"TEMP", L"C:\\no\\such\\folder");
  Win32Environment machine;
  ConfigurationManager settings(machine, CompiledBuildOptions());
  ::SetEnvironmentVariableW(L"TMP", oldTmp);
  ::SetEnvironmentVariableW(L"TEMP", oldTemp);
  EXPECT_TRUE(settings.m_workFolder.empty());
  EXPECT_TRUE(settings.m_downloadFolder.empty());
}

}  // namespace
}  // namespace ostrane
