#include "download/transfer_win.h"

#include <stdexcept>

#include "winui/window_messages.h"
#include "download/transfer_support.h"
#include "system/system_error_text.h"
#include "system/text_convert.h"

namespace ostrane::transfer {

void Fail(std::wstring_view format, DWORD code) {
  // Narrow messages travel as UTF-8 so that no character of the system's text is lost.
  throw std::runtime_error(WideToUtf8(FormatFailure(format, code, GetSystemErrorText(code))));
}

void FailWithLastError(std::wstring_view format) { Fail(format, ::GetLastError()); }

DownloadResult FailedResult(const std::exception& failure, std::wstring_view tag) {
  return DownloadResult{false, Utf8ToWide(failure.what()) + std::wstring(tag)};
}

// Delete sharing lets the wizard remove its work folder while a cancelled transfer
// still holds the file.
OutputFile::OutputFile(const std::wstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (!file_) openError_ = ::GetLastError();
}

void OutputFile::Write(const void* data, DWORD size) {
  if (!file_ || size == 0) return;
  DWORD written = 0;
  // A short file must never pass for a whole one: without a length to check it
  // against, a lost write would end as a "successful" download.
  if (!::WriteFile(file_.get(), data, size, &written, nullptr)) FailWithLastError(L"Failed to write file: %d - %s");
  if (written != size) Fail(L"Failed to write file: %d - %s", ERROR_DISK_FULL);
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
