// Whether a Windows test runs under Wine or on Windows, decided when it runs: the same
// test program checks on Windows what Wine cannot show (docs/windows.md).
#pragma once

#include <windows.h>

namespace ostrane::testing {

// Wine's ntdll exports wine_get_version; Windows' has no such function.
inline bool RunningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace ostrane::testing
