// The WinINet transport: the fallback attempt at a file. Redirects are followed in
// our own loop; the attempt stops at the next chunk once the user has quit.
#include <windows.h>
// WinINet is delay-loaded. Calls through the import table would read entries that the
// toolchain's delay-load libraries leave empty until first use; direct calls go through
// the delay-load stubs, which fill them in. So WinINet's functions are declared here
// without the import attribute.
#pragma push_macro("DECLSPEC_IMPORT")
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <wininet.h>
#pragma pop_macro("DECLSPEC_IMPORT")

#include <optional>
#include <stdexcept>

#include "download/download_manager.h"
#include "download/progress.h"
#include "download/transfer_support.h"
#include "download/transfer_win.h"
#include "system/system_error_text.h"
#include "system/text_convert.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

using UniqueInternet = win::UniqueHandle<win::HandleTraits<HINTERNET, ::InternetCloseHandle>>;

constexpr wchar_t kTag[] = L" [WININET] ";
// WinINet's own following, which this loop replaced, reached the end of a chain of 50;
// the budget keeps that and still ends a loop.
constexpr int kMaxRedirects = 100;

// A header's value of any length; nothing when the response does not carry it.
std::optional<std::wstring> QueryHeaderText(HINTERNET request, DWORD info) {
  DWORD bytes = 0;
  ::HttpQueryInfoW(request, info, nullptr, &bytes, nullptr);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!::HttpQueryInfoW(request, info, text.data(), &bytes, nullptr)) return std::nullopt;
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

// Opens url and follows redirects until an answer that is not one. WinINet must not
// follow them itself: Wine's WinINet goes from https to plain http, and a check of the
// final address afterwards would come after the plain request had gone out. Each
// target is judged (RedirectRefusal) before it gets a request. Throws
// std::runtime_error with the failure's text.
UniqueInternet OpenFinalResponse(HINTERNET session, std::wstring url) {
  for (int redirects = 0;; ++redirects) {
    UniqueInternet request(::InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT, 0));
    if (!request) transfer::FailWithLastError(L"Failed to open URL:: %d - %s");

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
      transfer::FailWithLastError(L"Failed to query HTTP status code: %d - %s");
    const DWORD statusError = ::GetLastError();  // what a failed status's text reports
    // A redirect without a target is an answer like any other failed status.
    if (status >= 300 && status <= 399) {
      if (const auto location = QueryHeaderText(request.get(), HTTP_QUERY_LOCATION)) {
        if (redirects == kMaxRedirects) throw std::runtime_error("Too many redirects.");
        if (auto refusal = RedirectRefusal(url, *location)) throw std::runtime_error(*refusal);
        url = ResolveLocation(url, *location);
        continue;  // this hop's handle closes here
      }
    }
    if (status != 200) {
      throw std::runtime_error(WideToUtf8(FormatFailure(L"Server returned status code: HTTP %d - %s", status,
                                                        GetSystemErrorText(statusError))));
    }
    return request;
  }
}

// The address WinINet's redirects ended at; empty when it cannot say.
std::wstring FinalUrl(HINTERNET request) {
  DWORD bytes = 0;
  ::InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &bytes);
  if (bytes == 0) return {};
  std::wstring url(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(url.size() * sizeof(wchar_t));
  if (!::InternetQueryOptionW(request, INTERNET_OPTION_URL, url.data(), &bytes)) return {};
  if (const auto end = url.find(L'\0'); end != std::wstring::npos) url.resize(end);
  return url;
}

}  // namespace

DownloadResult DownloadManager::DownloadWithWinInet(const std::wstring& url, HWND notify,
                                                    const std::wstring& fileName, bool useWorkFolder) {
  if (auto refused = RefuseUnsafeName(url, fileName)) return *refused;
  return WinInetToFile(url, notify, ResolveTargetPath(url, fileName, useWorkFolder));
}

DownloadResult DownloadManager::WinInetToFile(const std::wstring& url, HWND notify, const std::wstring& path) {
  DownloadResult result;
  try {
    transfer::OutputFile file(path);
    UniqueInternet session(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) transfer::FailWithLastError(L"Failed to initialize WinINet:: %d - %s");
    const UniqueInternet request = OpenFinalResponse(session.get(), url);

    // Read as text: a 32-bit number would turn a body of 4 GiB or more into a failure.
    std::optional<std::uint64_t> length;
    if (const auto text = QueryHeaderText(request.get(), HTTP_QUERY_CONTENT_LENGTH))
      length = ParseContentLength(*text);
    if (!length) transfer::PostNoSize(notify);
    if (!file.IsOpen()) transfer::Fail(L"Failed to open file for writing: %d - %s", file.OpenError());

    // A failed read ends the body like its end does; the size check catches a short file.
    ProgressThrottle progress(length.value_or(0));
    char buffer[4096];
    DWORD read = 0;
    while (::InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read > 0) {
      if (m_cancelled) throw std::runtime_error("Download cancelled.");
      file.Write(buffer, read);
      if (const auto percent = progress.Add(read)) transfer::PostProgress(notify, *percent);
    }
    file.Close();

    if (length) {
      const auto size = transfer::FileSize(path);
      if (!size) transfer::FailWithLastError(L"Failed to open downloaded file: %d - %s");
      if (*size != *length) throw std::runtime_error(IncompleteDownloadText(*length, *size));
    }
    m_lastFilePath = path;
    if (length.value_or(0) > 0) transfer::PostProgress(notify, 100);
    result.ok = true;
    result.finalUrl = FinalUrl(request.get());
  } catch (const std::exception& failure) {
    result = transfer::FailedResult(failure, kTag);
  }
  return result;
}

}  // namespace ostrane
