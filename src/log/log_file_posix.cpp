// The log's file in the native build.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "log/setup_log.h"

namespace ostrane::log {
namespace {

class LogFile : public LogSink {
 public:
  explicit LogFile(int file) : file_(file) {}
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile() override { ::close(file_); }

  bool Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(file_, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
  }

 private:
  int file_;  // we own it
};

}  // namespace

std::unique_ptr<LogSink> CreateLogFile(const LogPath& path) {
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (file < 0) return nullptr;
  try {
    return std::make_unique<LogFile>(file);
  } catch (...) {
    ::close(file);
    return nullptr;
  }
}

}  // namespace ostrane::log
