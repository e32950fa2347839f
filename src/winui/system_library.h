// A DLL loaded from the system folder by its full path, never from the program's
// folder or the search path: for DLLs that are no known system DLLs and that we
// take only when first needed.
#pragma once

#include <windows.h>

namespace ostrane::win {

// Stays loaded for the process's life; null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The function's address as a pointer of its own type; null when missing.
template <typename Function>
Function SystemFunction(HMODULE dll, const char* name) {
  return dll == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
}

}  // namespace ostrane::win
