// What every WinHTTP user of ours shares: the handle owner and the per-system choice
// of proxy mode and TLS versions. Include after <windows.h> and <winhttp.h>.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "net/system_facts.h"
#include "winui/unique_handle.h"

namespace ostrane {

using UniqueWinHttp = win::UniqueHandle<win::HandleTraits<HINTERNET, ::WinHttpCloseHandle>>;

// Windows 7 (6.1 up to, not including, 6.2) keeps the configured default proxy;
// every other system finds its proxy automatically.
inline DWORD WinHttpAccessTypeForThisSystem() {
  return IsOsVersionAtLeast(6, 1, 0) && !IsOsVersionAtLeast(6, 2, 0) ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY
                                                                     : WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;
}

// SSL 3.0 and TLS 1.0 everywhere; TLS 1.1 and 1.2 from Windows 7 SP1 on.
inline DWORD SecureProtocolsForThisSystem() {
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_SSL3 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1;
  if (IsOsVersionAtLeast(6, 1, 1))
    protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  return protocols;
}

}  // namespace ostrane
