// The one way the installer talks to its servers: an HTTPS POST of a JSON text.
// Synchronous; call it on worker threads only.
#pragma once

#include <cstdint>
#include <string>

#include "net/abort_signal.h"
#include "net/header_list.h"

namespace ostrane {

// Posts body to the host and path of url, always on port 443 over TLS: the URL's
// scheme, port and query are not used. The caller's headers go first, then
// "Expect" and "Content-Type". Appends the reply to response and sets status.
// Returns true whenever a reply arrived, whatever its status; every failure throws
// OstraneException (status is then left as it was). With an abort signal the
// exchange runs on a thread of its own: the signal ends the wait for it at once, and
// the exchange, left behind, stops at its next step (RunUntilAborted).
bool PostJson(const std::wstring& url, const std::string& body, HeaderList headers, std::string& response,
              std::uint32_t& status, AbortSignal* abort = nullptr);

// The same on a split URL; false instead of an exception.
bool PostJsonToHost(const std::wstring& host, const std::wstring& path, const std::string& body,
                    HeaderList headers, std::string& response, std::uint32_t& status,
                    AbortSignal* abort = nullptr);

}  // namespace ostrane
