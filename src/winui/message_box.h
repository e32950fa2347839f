#pragma once

#include <windows.h>

#include <string>

namespace ostrane::win {

// The application's name, the caption of its plain message boxes.
inline constexpr wchar_t kApplicationName[] = L"Ostrane";

// A plain message box owned by the active window, captioned with the application's name.
int AppMessageBox(const std::wstring& text, UINT flags = MB_OK);

inline int MessageBoxFor(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

}  // namespace ostrane::win
