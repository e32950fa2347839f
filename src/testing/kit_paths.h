// Where a Windows test finds the files it uses and the test server's state folder:
// in the build tree through Wine's Z: drive, or, when the test runs from the Windows
// test kit (the kit's runner sets OSTRANE_KIT_DIR), in the kit's "files" folder under
// the same last name.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace ostrane::testing {

// The value of an environment variable, or empty.
inline std::wstring EnvironmentText(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, static_cast<DWORD>(std::size(value)));
  return length > 0 && length < std::size(value) ? std::wstring(value, length) : std::wstring();
}

// A Unix path under Wine's Z: drive; a Windows path ("C:\...", "\\server\...") as it is.
inline std::wstring ZDrivePath(std::wstring_view path) {
  const bool windows = (path.size() >= 2 && path[1] == L':') || path.compare(0, 2, L"\\\\") == 0;
  std::wstring out = windows ? std::wstring() : std::wstring(L"Z:");
  for (const wchar_t c : path) out += c == L'/' ? L'\\' : c;
  return out;
}

// A file or folder of the build tree, named by its build path, where this run has it.
inline std::wstring TestFilePath(std::wstring_view buildPath) {
  const std::wstring kit = EnvironmentText(L"OSTRANE_KIT_DIR");
  if (kit.empty()) return ZDrivePath(buildPath);
  const auto slash = buildPath.find_last_of(L"/\\");
  return kit + L"\\files\\" + std::wstring(buildPath.substr(slash == std::wstring_view::npos ? 0 : slash + 1));
}
inline std::wstring TestFilePath(std::string_view buildPath) {
  return TestFilePath(std::wstring(buildPath.begin(), buildPath.end()));
}

}  // namespace ostrane::testing
