#pragma once

#include <windows.h>

#include <string>

namespace ostrane {

// The system's message for a Win32 error code, as the system words it (usually
// ending in "\r\n"); empty when there is none.
std::wstring GetSystemErrorText(DWORD code);

}  // namespace ostrane
