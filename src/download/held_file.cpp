#include "download/held_file.h"

#include <algorithm>

namespace ostrane {

HeldFile::HeldFile(const std::wstring& path)
    : path_(path),
      file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)) {
  if (!file_) {
    openError_ = ::GetLastError();
    return;
  }
  // A reparse point was opened as itself above; it is no file of ours to vouch for.
  BY_HANDLE_FILE_INFORMATION facts{};
  if (!::GetFileInformationByHandle(file_.get(), &facts) ||
      (facts.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    file_.reset();
    openError_ = ERROR_ACCESS_DENIED;
  }
}

HeldFileSource::HeldFileSource(const HeldFile& file) : file_(file.get()) {
  LARGE_INTEGER size{};
  if (file_ != INVALID_HANDLE_VALUE && ::GetFileSizeEx(file_, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
}

bool HeldFileSource::ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) {
  for (std::size_t done = 0; done < buffer.size();) {
    // Positioned reads: each says where it starts.
    OVERLAPPED at{};
    const std::uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD read = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, 1 << 20));
    if (!::ReadFile(file_, buffer.data() + done, want, &read, &at) || read == 0) return false;
    done += read;
  }
  return true;
}

}  // namespace ostrane
