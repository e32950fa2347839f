#include "winui/open_url.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "log/setup_log.h"
#include "text/web_link.h"

namespace ostrane::win {
namespace {

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

bool OpenUrl(const std::wstring& url) {
  // Campaign values reach here: a path, a share or another scheme would make the
  // Shell start a program or open a file instead of a page. A link refused is
  // written down, so that a campaign's dead link can be found; its query is not, as
  // offer placeholders put the user's values there.
  if (const char* why = WhyNotWebUrl(url)) {
    log::LogLine("link", std::string("not opened (") + why + "): " + Utf8(LinkBeforeQuery(url)));
    return false;
  }
  HINSTANCE result = ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // Values up to 32 are error codes.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace ostrane::win
