#include "app/dll_search.h"

#include <windows.h>

#include <string>

namespace ostrane {
namespace {

// The imports that are delay-loaded (see cmake/DelayImports.cmake).
constexpr const wchar_t* kDelayLoaded[] = {L"winhttp.dll", L"wininet.dll", L"gdiplus.dll", L"version.dll",
                                           L"bcrypt.dll", L"wintrust.dll"};

}  // namespace

void RestrictDllSearchToSystemFolder() {
  // Not in the import table: the whole point is that nothing is resolved before this.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;

  // The current folder leaves the search at least; the program's folder cannot, so
  // the delayed DLLs are taken from the system folder now, once and for all.
  ::SetDllDirectoryW(L"");
  wchar_t system[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  for (const wchar_t* name : kDelayLoaded) ::LoadLibraryW((std::wstring(system, length) + L"\\" + name).c_str());
}

}  // namespace ostrane
