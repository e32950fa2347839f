// Files the end-to-end runs serve and leave: the demo installers' bytes, and the
// product folder that the product's installer writes into the roaming application data.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <fstream>
#include <iterator>
#include <string>

namespace ostrane::e2e {

inline std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits until no process whose program name starts with `prefix` (any case) runs.
// Offers are started, not awaited: one still running holds its file in the work
// folder, which the wizard then cannot remove when it ends.
inline bool WaitUntilNoProcessStartsWith(const std::wstring& prefix, DWORD patienceMs = 30000) {
  const auto running = [&prefix] {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return true;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found; more = ::Process32NextW(snapshot, &entry))
      found = ::_wcsnicmp(entry.szExeFile, prefix.c_str(), prefix.size()) == 0;
    ::CloseHandle(snapshot);
    return found;
  };
  const DWORD start = ::GetTickCount();
  while (running()) {
    if (::GetTickCount() - start >= patienceMs) return false;
    ::Sleep(50);
  }
  return true;
}

inline std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
  ::CoTaskMemFree(path);
  return result;
}

// The installed product's folder. Removed at the end of the scope when it was not
// there at the start, so that the prefix is left as it was found.
class InstalledProductGuard {
 public:
  InstalledProductGuard()
      : folder_(KnownFolder(FOLDERID_RoamingAppData) + L"\\Quillara Web"),
        existed_(::GetFileAttributesW(folder_.c_str()) != INVALID_FILE_ATTRIBUTES) {}
  ~InstalledProductGuard() {
    if (existed_) return;
    ::DeleteFileW((folder_ + L"\\qlweb.exe").c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }
  InstalledProductGuard(const InstalledProductGuard&) = delete;
  InstalledProductGuard& operator=(const InstalledProductGuard&) = delete;

  const std::wstring& folder() const { return folder_; }

 private:
  std::wstring folder_;
  bool existed_;
};

}  // namespace ostrane::e2e
