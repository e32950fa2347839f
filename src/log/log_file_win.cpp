// The log's file in the Windows build: straight through the system's file calls, so
// that the installer carries no stream or locale code for one file.
#include <windows.h>

#include "log/setup_log.h"

namespace ostrane::log {
namespace {

class LogFile : public LogSink {
 public:
  explicit LogFile(HANDLE file) : file_(file) {}
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile() override { ::CloseHandle(file_); }

  bool Append(std::string_view bytes) override {
    // Unbuffered: each line is the system's once written, so a run that ends
    // abruptly keeps every line up to its end.
    while (!bytes.empty()) {
      const DWORD want = bytes.size() > (1u << 20) ? (1u << 20) : static_cast<DWORD>(bytes.size());
      DWORD written = 0;
      if (!::WriteFile(file_, bytes.data(), want, &written, nullptr) || written == 0) return false;
      bytes.remove_prefix(written);
    }
    return true;
  }

 private:
  HANDLE file_;  // we own it
};

}  // namespace

std::unique_ptr<LogSink> CreateLogFile(const LogPath& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  try {
    return std::make_unique<LogFile>(file);
  } catch (...) {
    ::CloseHandle(file);
    return nullptr;
  }
}

}  // namespace ostrane::log
