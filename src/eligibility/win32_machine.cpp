#include "eligibility/win32_machine.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <ctime>

#include "eligibility/registry_error.h"
#include "system/system_facts.h"
#include "settings/known_folders.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::Users: return HKEY_USERS;
    case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_LOCAL_MACHINE;
}

REGSAM ReadAccess(RegistryView view) {
  return view == RegistryView::Native64 ? KEY_READ | KEY_WOW64_64KEY : KEY_READ;
}

LSTATUS OpenKey(RegistryRoot root, const std::wstring& path, RegistryView view, win::UniqueHkey& key) {
  // An empty path opens the root itself.
  return ::RegOpenKeyExW(RootKey(root), path.c_str(), 0, ReadAccess(view), key.put());
}

win::UniqueHkey OpenKeyOrThrow(RegistryRoot root, const std::wstring& path, RegistryView view) {
  win::UniqueHkey key;
  if (const LSTATUS status = OpenKey(root, path, view, key); status != ERROR_SUCCESS)
    throw win32::RegistryError(win32::kOpenKeyFailed, status);
  return key;
}

// A fixed-size value read through RegGetValueW, restricted to one type.
template <typename T>
T ReadFixed(RegistryRoot root, const std::wstring& path, RegistryView view, const std::wstring& name, DWORD typeFlag,
            const char* failure) {
  const win::UniqueHkey key = OpenKeyOrThrow(root, path, view);
  T value = 0;
  DWORD size = sizeof value;
  if (const LSTATUS status = ::RegGetValueW(key.get(), nullptr, name.c_str(), typeFlag, nullptr, &value, &size);
      status != ERROR_SUCCESS)
    throw win32::RegistryError(failure, status);
  // Windows refuses a value of another size for the type; Wine hands over the bytes
  // there are, and half a number must not pass for a whole one.
  if (size != sizeof value) throw win32::RegistryError(failure, ERROR_DATATYPE_MISMATCH);
  return value;
}

}  // namespace

bool Win32Machine::KeyOpens(RegistryRoot root, const std::wstring& path, RegistryView view) {
  win::UniqueHkey key;
  return OpenKey(root, path, view, key) == ERROR_SUCCESS;
}

std::vector<std::wstring> Win32Machine::Subkeys(RegistryRoot root, const std::wstring& path, RegistryView view) {
  const win::UniqueHkey key = OpenKeyOrThrow(root, path, view);
  DWORD count = 0;
  DWORD longest = 0;  // characters, without the terminating zero
  if (const LSTATUS status = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr);
      status != ERROR_SUCCESS)
    throw win32::RegistryError(win32::kCountSubkeysFailed, status);

  std::vector<std::wstring> names;
  names.reserve(count);
  std::wstring buffer(longest + 1, L'\0');
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = longest + 1;
    if (const LSTATUS status =
            ::RegEnumKeyExW(key.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        status != ERROR_SUCCESS)
      throw win32::RegistryError(win32::kEnumerateSubkeysFailed, status);
    names.emplace_back(buffer.data(), length);
  }
  return names;
}

bool Win32Machine::ValueExists(RegistryRoot root, const std::wstring& path, RegistryView view,
                               const std::wstring& name) {
  const win::UniqueHkey key = OpenKeyOrThrow(root, path, view);
  return ::RegGetValueW(key.get(), nullptr, name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::uint32_t Win32Machine::ValueType(RegistryRoot root, const std::wstring& path, RegistryView view,
                                      const std::wstring& name) {
  const win::UniqueHkey key = OpenKeyOrThrow(root, path, view);
  DWORD type = REG_NONE;
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return kRegNone;
  return type;
}

std::wstring Win32Machine::ReadString(RegistryRoot root, const std::wstring& path, RegistryView view,
                                      const std::wstring& name) {
  const win::UniqueHkey key = OpenKeyOrThrow(root, path, view);
  DWORD size = 0;  // bytes, with the terminating zero RegGetValueW guarantees
  LSTATUS status = ::RegGetValueW(key.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size);
  if (status != ERROR_SUCCESS) throw win32::RegistryError(win32::kReadStringFailed, status);
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  status = ::RegGetValueW(key.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, value.data(), &size);
  if (status != ERROR_SUCCESS) throw win32::RegistryError(win32::kReadStringFailed, status);
  value.resize(size / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return value;
}

std::uint32_t Win32Machine::ReadDword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                      const std::wstring& name) {
  return ReadFixed<DWORD>(root, path, view, name, RRF_RT_REG_DWORD, win32::kReadDwordFailed);
}

std::uint64_t Win32Machine::ReadQword(RegistryRoot root, const std::wstring& path, RegistryView view,
                                      const std::wstring& name) {
  return ReadFixed<std::uint64_t>(root, path, view, name, RRF_RT_REG_QWORD, win32::kReadQwordFailed);
}

bool Win32Machine::IsWow64() { return ostrane::IsWow64(); }

bool Win32Machine::IsOsVersionAtLeast(int major, int minor) {
  return ostrane::IsOsVersionAtLeast(static_cast<WORD>(major), static_cast<WORD>(minor), 0);
}

Measured Win32Machine::FreeDiskMb() {
  // The drive root ("C:\") of the folder the installer's shortcuts go to.
  const std::wstring root = GetKnownFolder(FOLDERID_Desktop, true).substr(0, 3);
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return {std::nullopt, ::GetLastError()};
  return {available.QuadPart >> 20, 0};
}

Measured Win32Machine::PhysicalMemoryMb() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return {std::nullopt, ::GetLastError()};
  return {status.ullTotalPhys >> 20, 0};
}

Machine::CpuSpeed Win32Machine::ProcessorMhz() {
  // The hardware description lives in the 64-bit view only.
  win::UniqueHkey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                      KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS)
    return {std::nullopt, true};
  DWORD mhz = 0;
  DWORD size = sizeof mhz;
  if (::RegQueryValueExA(key.get(), "~MHz", nullptr, nullptr, reinterpret_cast<BYTE*>(&mhz), &size) != ERROR_SUCCESS)
    return {std::nullopt, false};
  return {mhz, false};
}

bool Win32Machine::FileExists(const std::wstring& path) { return ::PathFileExistsW(path.c_str()) != FALSE; }

std::vector<std::wstring> Win32Machine::RunningProcesses() {
  std::vector<std::wstring> names;
  const win::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
    names.emplace_back(entry.szExeFile);
  return names;
}

std::int64_t Win32Machine::NowSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string Win32Machine::TodayLocal() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_s(&local, &now) != 0) return {};
  char text[16] = {};
  return std::string(text, std::strftime(text, sizeof text, "%Y%m%d", &local));
}

}  // namespace ostrane
