#include "settings/known_folders.h"

#include <memory>

namespace ostrane {

std::wstring GetKnownFolder(REFKNOWNFOLDERID id, bool defaultUser) {
  PWSTR path = nullptr;
  // A token of -1 names the default user.
  HANDLE token = defaultUser ? reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1)) : nullptr;
  const HRESULT hr = ::SHGetKnownFolderPath(id, 0, token, &path);
  std::unique_ptr<wchar_t, decltype(&::CoTaskMemFree)> owned(path, &::CoTaskMemFree);
  if (FAILED(hr) || path == nullptr) return {};
  return path;
}

std::wstring MakeTempWorkFolder() {
  wchar_t tempPath[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, tempPath);
  wchar_t name[MAX_PATH] = {};
  ::GetTempFileNameW(tempPath, L"ISV", 0, name);
  ::DeleteFileW(name);
  ::CreateDirectoryW(name, nullptr);
  return name;
}

}  // namespace ostrane
