#include "winui/open_url.h"

#include <windows.h>
#include <shellapi.h>

namespace ostrane::win {

bool OpenUrl(const std::wstring& url) {
  if (url.empty()) return false;
  HINSTANCE result = ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // Values up to 32 are error codes.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace ostrane::win
