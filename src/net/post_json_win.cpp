#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

#include "log/setup_log.h"
#include "net/ostrane_exception.h"
#include "net/post_json.h"
#include "system/system_facts.h"
#include "system/text_convert.h"
#include "net/winhttp_common.h"

namespace ostrane {

bool PostJson(const std::wstring& url, const std::string& body, HeaderList headers, std::string& response,
              std::uint32_t& status, AbortSignal* abort) {
  // Windows 7 without SP1 cannot speak TLS 1.2: nothing is sent from it.
  if (IsOsVersionAtLeast(6, 1, 0) && !IsOsVersionAtLeast(6, 1, 1)) {
    log::LogLine("request", "Windows 7 without Service Pack 1 cannot speak TLS 1.2: nothing is sent");
    throw OstraneException();
  }

  // The query, the scheme and any port are not used: always port 443 over TLS.
  const auto parts = CrackUrl(url);
  if (!parts) {
    log::LogLine("request", "not a URL the installer can post to: " + WideToUtf8(url));
    throw OstraneException();
  }
  if (!PostJsonToHost(parts->host, parts->path, body, std::move(headers), response, status, abort))
    throw OstraneException();
  return true;
}

namespace {

// One exchange, from opening the session to reading the reply's last byte. Its
// handles are used and closed on the calling thread alone. A given ticket ends it at
// the next step once the caller has gone.
bool Exchange(const std::wstring& host, const std::wstring& path, const std::string& body, HeaderList headers,
              std::string& response, std::uint32_t& status, const ExchangeTicket* ticket) {
  // A failed step goes to the setup log with the system's error; the caller only
  // learns that the request failed.
  const auto failed = [&](const char* step) {
    const DWORD error = ::GetLastError();
    log::LogLine("request", "POST https://" + WideToUtf8(host) + WideToUtf8(path) + ": " + step +
                                " failed, error " + std::to_string(error));
    return false;
  };
  UniqueWinHttp session(::WinHttpOpen(nullptr, WinHttpAccessTypeForThisSystem(), WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return failed("WinHttpOpen");
  DWORD protocols = SecureProtocolsForThisSystem();
  if (!::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols))
    return failed("choosing the TLS versions");
  UniqueWinHttp connection(::WinHttpConnect(session.get(), host.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0));
  if (!connection) return failed("WinHttpConnect");
  UniqueWinHttp request(::WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, nullptr, WINHTTP_FLAG_SECURE));
  if (!request) return failed("WinHttpOpenRequest");

  headers.emplace_back(L"Expect", L"100-continue");
  headers.emplace_back(L"Content-Type", L"application/json");
  for (const auto& [name, value] : headers) {
    const std::wstring line = name + L": " + value;
    if (!::WinHttpAddRequestHeaders(request.get(), line.c_str(), static_cast<DWORD>(line.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD))
      failed(("adding the header " + WideToUtf8(name)).c_str());  // its value may be a signature: never logged
  }

  const auto aborted = [ticket] { return ticket != nullptr && ticket->abandoned(); };
  const auto length = static_cast<DWORD>(std::strlen(body.c_str()));
  if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<char*>(body.c_str()),
                            length, length, 0))
    return aborted() ? false : failed("WinHttpSendRequest");
  if (aborted()) return false;
  if (!::WinHttpReceiveResponse(request.get(), nullptr)) return aborted() ? false : failed("WinHttpReceiveResponse");
  if (aborted()) return false;

  DWORD code = 0;
  DWORD size = sizeof code;
  if (::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
    status = code;

  for (;;) {
    DWORD available = 0;
    if (aborted()) return false;
    if (!::WinHttpQueryDataAvailable(request.get(), &available)) {
      failed("WinHttpQueryDataAvailable");
      break;
    }
    if (available == 0) break;
    std::vector<char> chunk;
    try {
      chunk.assign(static_cast<std::size_t>(available) + 1, '\0');
    } catch (const std::bad_alloc&) {
      log::LogLine("request", "out of memory for the reply");
      break;
    }
    DWORD read = 0;
    if (!::WinHttpReadData(request.get(), chunk.data(), available, &read)) {
      failed("WinHttpReadData");
      continue;
    }
    // Text up to a zero byte: the replies are JSON.
    response.append(chunk.data(), std::find(chunk.data(), chunk.data() + read, '\0'));
  }
  return true;
}

}  // namespace

bool PostJsonToHost(const std::wstring& host, const std::wstring& path, const std::string& body,
                    HeaderList headers, std::string& response, std::uint32_t& status, AbortSignal* abort) {
  if (abort == nullptr) return Exchange(host, path, body, std::move(headers), response, status, nullptr);

  // An abort comes from another thread and must end the caller's wait at once. It
  // never closes a handle of the exchange: between the exchange's look at the signal
  // and its next WinHTTP call the handle could be closed and its value handed to a
  // new handle of another request (an analytics send), which the exchange would then
  // read from; and Wine 8 does not end a waiting receive when its handle is closed.
  // So the exchange runs on a thread of its own that alone uses and closes its
  // handles, and the abort only ends the caller's wait. Left alone, the exchange
  // stops at its next step (a blocking call ends when the server answers or WinHTTP
  // gives up); what it brings then goes nowhere.
  struct Outcome {
    bool answered = false;
    std::string response;
    std::uint32_t status = 0;
  };
  auto outcome = std::make_shared<Outcome>();
  outcome->status = status;
  bool ended = false;
  try {
    ended = RunUntilAborted(*abort, [outcome, host, path, body, headers = std::move(headers)](
                                        const ExchangeTicket& ticket) mutable {
      outcome->answered = Exchange(host, path, body, std::move(headers), outcome->response, outcome->status, &ticket);
    });
  } catch (const std::system_error&) {
    log::LogLine("request", "POST https://" + WideToUtf8(host) + WideToUtf8(path) + ": no thread for the request");
    return false;
  }
  if (!ended) {
    log::LogLine("request", "POST https://" + WideToUtf8(host) + WideToUtf8(path) + ": given up, aborted");
    return false;
  }
  response += outcome->response;
  status = outcome->status;
  return outcome->answered;
}

}  // namespace ostrane
