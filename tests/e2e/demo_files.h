// Files the end-to-end runs serve and leave: the demo installers' bytes, and the
// product folder that the product's installer writes into the roaming application data.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <string>

namespace ostrane::e2e {

inline std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
