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
  if (::GetTempPathW(MAX_PATH, tempPath) == 0) return {};
  // The name GetTempFileName reserves is free for a moment once its file is gone: the
  // folder must be made by us, new, or another name is tried.
  for (int attempt = 0; attempt < 16; ++attempt) {
    wchar_t name[MAX_PATH] = {};
    if (::GetTempFileNameW(tempPath, L"ISV", 0, name) == 0) return {};
    ::DeleteFileW(name);
    if (::CreateDirectoryW(name, nullptr)) return name;
  }
  return {};
}

}  // namespace ostrane
