// What every WinHTTP user of ours shares: the handle owner and the per-system choice
// of proxy mode and TLS versions. Include after <windows.h> and <winhttp.h>.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <optional>
#include <string>

#include "system/system_facts.h"
#include "winui/unique_handle.h"

namespace ostrane {

using UniqueWinHttp = win::UniqueHandle<win::HandleTraits<HINTERNET, ::WinHttpCloseHandle>>;

// Windows 7 (6.1 up to, not including, 6.2) keeps the configured default proxy;
// every other system finds its proxy automatically.
inline DWORD WinHttpAccessTypeForThisSystem() {
  return IsOsVersionAtLeast(6, 1, 0) && !IsOsVersionAtLeast(6, 2, 0) ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY
                                                                     : WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;
}

// TLS 1.0 everywhere, so that older Windows 7 machines still connect; TLS 1.1 and 1.2
// from Windows 7 SP1 on. Never SSL 3.0: it is broken.
inline DWORD SecureProtocolsForThisSystem() {
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1;
  if (IsOsVersionAtLeast(6, 1, 1))
    protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  return protocols;
}

// The parts of a URL as WinHttpCrackUrl splits it.
struct CrackedUrl {
  std::wstring host;
  std::wstring path;   // without the query
  std::wstring extra;  // the query and fragment, from '?' or '#'
  INTERNET_PORT port = 0;
  INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
};

// Nothing when WinHttpCrackUrl rejects the URL (its error stays the thread's last error).
inline std::optional<CrackedUrl> CrackUrl(const std::wstring& url) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
  return CrackedUrl{std::wstring(parts.lpszHostName, parts.dwHostNameLength),
                    std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength),
                    std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength), parts.nPort, parts.nScheme};
}

}  // namespace ostrane
