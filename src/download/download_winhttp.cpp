// The WinHTTP transports: one attempt at a file, up to two at a memory buffer.
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <vector>

#include "download/download_manager.h"
#include "download/progress.h"
#include "download/transfer_support.h"
#include "download/transfer_win.h"
#include "system/text_convert.h"
#include "net/winhttp_common.h"

namespace ostrane {
namespace {

constexpr int kMaxRedirects = 5;
constexpr wchar_t kTag[] = L"[WINHTTP] ";

struct HopSettings {
  const wchar_t* userAgent;
  bool defaultProxy;  // always the configured proxy, instead of the per-system choice
  DWORD requestFlags;
};

// The handles of one request, closed request first.
struct Exchange {
  UniqueWinHttp session;
  UniqueWinHttp connection;
  UniqueWinHttp request;
};

// A header's value of any length; nothing when the response does not carry it.
std::optional<std::wstring> QueryHeaderText(HINTERNET request, DWORD info) {
  DWORD bytes = 0;
  ::WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!::WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

// Sends a GET for url and follows redirects until an answer that is not one; url
// ends as the address that gave it. A redirect that RedirectRefusal turns down (from
// https to http) ends the attempt with its text. The redirect count is the caller's,
// so that attempts can share it. Throws std::runtime_error with the failure's text.
Exchange OpenFinalResponse(std::wstring& url, const HopSettings& settings, int& redirects) {
  for (;;) {
    Exchange hop;
    hop.session.reset(::WinHttpOpen(settings.userAgent,
                                    settings.defaultProxy ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY
                                                          : WinHttpAccessTypeForThisSystem(),
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!hop.session) transfer::FailWithLastError(L"Failed to open HTTP session: %d - %s");
    DWORD protocols = SecureProtocolsForThisSystem();
    if (!::WinHttpSetOption(hop.session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols))
      transfer::FailWithLastError(L"Failed to set secure protocols: %d - %s");

    const auto parts = CrackUrl(url);
    if (!parts) transfer::FailWithLastError(L"Failed to parse URL: %d - %s");
    // Path and query; a fragment is the client's own and never sent.
    std::wstring object = parts->path + parts->extra;
    object = object.substr(0, object.find(L'#'));

    hop.connection.reset(::WinHttpConnect(hop.session.get(), parts->host.c_str(), parts->port, 0));
    if (!hop.connection) transfer::FailWithLastError(L"Failed to connect: %d - %s");
    const DWORD flags = settings.requestFlags | (parts->scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    hop.request.reset(::WinHttpOpenRequest(hop.connection.get(), L"GET", object.c_str(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!hop.request) transfer::FailWithLastError(L"Failed to open request: %d - %s");
    // Redirects are ours to count (at most five) and to judge, so WinHTTP must not
    // follow them itself.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    ::WinHttpSetOption(hop.request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    if (!::WinHttpSendRequest(hop.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
      transfer::FailWithLastError(L"Failed to send request: %d - %s");
    if (!::WinHttpReceiveResponse(hop.request.get(), nullptr))
      transfer::FailWithLastError(L"Failed to receive response: %d - %s");

    DWORD status = 0;  // an unreadable status stays 0 and fails below
    DWORD size = sizeof status;
    ::WinHttpQueryHeaders(hop.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    if (status >= 300 && status <= 399) {
      if (++redirects > kMaxRedirects) throw std::runtime_error("Too many redirects.");
      // A redirect without a target is an answer like any other failed status.
      if (const auto location = QueryHeaderText(hop.request.get(), WINHTTP_QUERY_LOCATION)) {
        // Decided before the next hop exists: a refused target gets no request at all.
        if (auto refusal = RedirectRefusal(url, *location)) throw std::runtime_error(*refusal);
        url = ResolveLocation(url, *location);
        continue;  // this hop's handles close here
      }
    }
    if (status < 200 || status > 299)
      throw std::runtime_error("Download failed: " +
                               WideToUtf8(L"Server returned status code: " + std::to_wstring(status)));
    return hop;
  }
}

// Reads the body chunk by chunk as WinHTTP has it, handing each to sink; stops
// before the next chunk once the cancel flag is up.
template <typename Sink>
void ReadBody(HINTERNET request, const std::atomic<bool>& cancelled, Sink&& sink) {
  std::vector<char> buffer;
  for (;;) {
    if (cancelled) throw std::runtime_error("Download cancelled.");
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) transfer::FailWithLastError(L"Failed to query data: %d - %s");
    if (available == 0) return;
    try {
      if (buffer.size() < available) buffer.resize(available);
    } catch (const std::bad_alloc&) {
      throw std::runtime_error("Out of memory.");
    }
    DWORD read = 0;
    if (!::WinHttpReadData(request, buffer.data(), available, &read))
      transfer::FailWithLastError(L"Failed to read data: %d - %s");
    sink(buffer.data(), read);
  }
}

}  // namespace

DownloadResult DownloadManager::DownloadWithWinHttp(const std::wstring& url, HWND notify,
                                                    const std::wstring& fileName, bool useWorkFolder) {
  if (auto refused = RefuseUnsafeName(url, fileName)) return *refused;
  return WinHttpToFile(url, notify, ResolveTargetPath(url, fileName, useWorkFolder));
}

DownloadResult DownloadManager::WinHttpToFile(const std::wstring& startUrl, HWND notify, const std::wstring& path) {
  DownloadResult result;
  try {
    std::wstring url = startUrl;
    // Created before anything goes on the network: a failed connection leaves it empty.
    transfer::OutputFile file(path);
    int redirects = 0;
    const Exchange exchange = OpenFinalResponse(url, HopSettings{nullptr, false, 0}, redirects);

    // Read as text: a 32-bit number would turn a body of 4 GiB or more into a failure.
    std::optional<std::uint64_t> length;
    if (const auto text = QueryHeaderText(exchange.request.get(), WINHTTP_QUERY_CONTENT_LENGTH))
      length = ParseContentLength(*text);
    if (!length) transfer::PostNoSize(notify);
    if (!file.IsOpen()) transfer::Fail(L"Failed to open file for writing: %d - %s", file.OpenError());

    ProgressThrottle progress(length.value_or(0));
    ReadBody(exchange.request.get(), m_cancelled, [&](const char* data, DWORD size) {
      file.Write(data, size);
      if (const auto percent = progress.Add(size)) transfer::PostProgress(notify, *percent);
    });
    file.Close();

    if (length) {
      const auto size = transfer::FileSize(path);
      if (!size) throw std::runtime_error("Failed to open downloaded file.");
      if (*size != *length) throw std::runtime_error(IncompleteDownloadText(*length, *size));
    }
    m_lastFilePath = path;
    if (length.value_or(0) > 0) transfer::PostProgress(notify, 100);
    result.ok = true;
    result.finalUrl = url;
  } catch (const std::exception& failure) {
    result = transfer::FailedResult(failure, kTag);
  }
  return result;
}

ByteBuffer DownloadManager::Fetch(const std::wstring& startUrl) {
  auto data = std::make_unique<std::vector<char>>();
  std::wstring url = startUrl;
  int redirects = 0;  // shared by both attempts
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      const Exchange exchange =
          OpenFinalResponse(url, HopSettings{L"A WinHTTP Example Program/1.0", true, WINHTTP_FLAG_REFRESH}, redirects);
      ReadBody(exchange.request.get(), m_cancelled,
               [&](const char* bytes, DWORD size) { data->insert(data->end(), bytes, bytes + size); });
      // A connection that ends early can look like the end of the body; a picture cut
      // short must not pass for a whole one.
      if (const auto text = QueryHeaderText(exchange.request.get(), WINHTTP_QUERY_CONTENT_LENGTH))
        if (const auto length = ParseContentLength(*text); length && *length != data->size())
          throw std::runtime_error(IncompleteDownloadText(*length, data->size()));
      break;
    } catch (const std::exception&) {
      data->clear();  // the next attempt starts where the redirects led, at once
    }
  }
  return data;
}

}  // namespace ostrane
