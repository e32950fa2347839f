#include "download/transfer_win.h"

#include <stdexcept>

#include "winui/window_messages.h"
#include "download/transfer_support.h"
#include "net/system_error_text.h"
#include "net/text_convert.h"

namespace ostrane::transfer {

void Fail(std::wstring_view format, DWORD code) {
  // Narrow messages travel as UTF-8 so that no character of the system's text is lost.
  throw std::runtime_error(WideToUtf8(FormatFailure(format, code, GetSystemErrorText(code))));
}

void FailWithLastError(std::wstring_view format) { Fail(format, ::GetLastError()); }

DownloadResult FailedResult(const std::exception& failure, std::wstring_view tag) {
  return DownloadResult{false, Utf8ToWide(failure.what()) + std::wstring(tag)};
}

OutputFile::OutputFile(const std::wstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (!file_) openError_ = ::GetLastError();
}

void OutputFile::Write(const void* data, DWORD size) {
  DWORD written = 0;
  if (file_ && size > 0) ::WriteFile(file_.get(), data, size, &written, nullptr);
}

std::optional<std::uint64_t> FileSize(const std::wstring& path) {
  win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

void PostProgress(HWND notify, unsigned percent) { ::PostMessageW(notify, WM_DOWNLOAD_PROGRESS, percent, 0); }

void PostNoSize(HWND notify) { ::PostMessageW(notify, WM_DOWNLOAD_NO_SIZE, 0, 0); }

}  // namespace ostrane::transfer
