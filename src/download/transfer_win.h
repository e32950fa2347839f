// What both file transports share: the output file, the size check and the way a
// failure becomes an exception and then a result. No <winhttp.h> or <wininet.h> here:
// the two cannot meet in one translation unit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "download/download_result.h"
#include "winui/unique_handle.h"

namespace ostrane::transfer {

// Throws std::runtime_error with the format (see FormatFailure) filled from code.
[[noreturn]] void Fail(std::wstring_view format, DWORD code);
// The same with the thread's last error, read first thing.
[[noreturn]] void FailWithLastError(std::wstring_view format);

// The result of a failed attempt: the exception's text followed by the transport's tag.
DownloadResult FailedResult(const std::exception& failure, std::wstring_view tag);

// The download's file, created empty (any old one truncated) and shared for reading,
// writing and deleting with other openers.
class OutputFile {
 public:
  explicit OutputFile(const std::wstring& path);
  bool IsOpen() const { return static_cast<bool>(file_); }
  // Why it could not be created.
  DWORD OpenError() const { return openError_; }
  // Throws std::runtime_error with the system's text when the data cannot be written
  // whole (disk full, a write error).
  void Write(const void* data, DWORD size);
  void Close() { file_.reset(); }

 private:
  win::UniqueFileHandle file_;
  DWORD openError_ = ERROR_SUCCESS;
};

// Size of the file at path (with its last error set when it cannot be opened).
std::optional<std::uint64_t> FileSize(const std::wstring& path);

// Posts one progress message; the transfers never touch windows otherwise.
void PostProgress(HWND notify, unsigned percent);
void PostNoSize(HWND notify);

}  // namespace ostrane::transfer
