#include "settings/win32_environment.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <ctime>

#include "settings/known_folders.h"
#include "system/system_facts.h"
#include "winui/message_box.h"
#include "winui/unique_handle.h"

namespace ostrane {

SystemEnvironment& DefaultSystemEnvironment() {
  static Win32Environment environment;
  return environment;
}

std::string Win32Environment::InstallerVersion() { return InstallerVersionText(); }

std::wstring Win32Environment::MakeTempWorkFolder() { return ostrane::MakeTempWorkFolder(); }

bool Win32Environment::IsDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring Win32Environment::GetKnownFolder(KnownFolder folder, bool defaultUser) {
  switch (folder) {
    case KnownFolder::LocalAppData: return ostrane::GetKnownFolder(FOLDERID_LocalAppData, defaultUser);
    case KnownFolder::RoamingAppData: return ostrane::GetKnownFolder(FOLDERID_RoamingAppData, defaultUser);
    case KnownFolder::ProgramData: return ostrane::GetKnownFolder(FOLDERID_ProgramData, defaultUser);
    case KnownFolder::ProgramFilesX86: return ostrane::GetKnownFolder(FOLDERID_ProgramFilesX86, defaultUser);
    case KnownFolder::Downloads: return ostrane::GetKnownFolder(FOLDERID_Downloads, defaultUser);
  }
  return {};
}

std::wstring Win32Environment::DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

std::wstring Win32Environment::TempPath() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
  return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(path, length);
}

bool Win32Environment::IsWow64() { return ostrane::IsWow64(); }

std::optional<std::wstring> Win32Environment::EnvironmentVariable(const std::wstring& name) {
  const DWORD needed = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  value.resize(length);
  return value;
}

std::string Win32Environment::ReadMachineGuid() {
  win::UniqueHkey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY,
                      key.put()) != ERROR_SUCCESS)
    return {};
  char value[255] = {};
  DWORD size = sizeof value;
  DWORD type = 0;
  if (::RegQueryValueExA(key.get(), "MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  return std::string(value, strnlen(value, sizeof value));
}

std::optional<std::tm> Win32Environment::LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_s(&local, &now) != 0) return std::nullopt;
  return local;
}

void Win32Environment::ShowMessage(const std::wstring& text) { win::AppMessageBox(text); }

}  // namespace ostrane
