#include "winui/open_url.h"

#include <windows.h>
#include <shellapi.h>

#include "text/web_link.h"

namespace ostrane::win {

bool OpenUrl(const std::wstring& url) {
  // Campaign values reach here: a path, a share or another scheme would make the
  // Shell start a program or open a file instead of a page.
  if (!IsWebUrl(url)) return false;
  HINSTANCE result = ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // Values up to 32 are error codes.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace ostrane::win
