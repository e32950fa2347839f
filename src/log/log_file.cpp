#include <fstream>

#include "log/setup_log.h"

namespace ostrane::log {
namespace {

class LogFile : public LogSink {
 public:
  explicit LogFile(const std::filesystem::path& path) : file_(path, std::ios::binary | std::ios::trunc) {}
  bool open() const { return file_.is_open(); }

  bool Append(std::string_view bytes) override {
    // Flushed line by line: a run that ends abruptly keeps every line up to its end.
    file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file_.flush();
    return file_.good();
  }

 private:
  std::ofstream file_;
};

}  // namespace

std::unique_ptr<LogSink> CreateLogFile(const std::filesystem::path& path) {
  try {
    auto file = std::make_unique<LogFile>(path);
    if (!file->open()) return nullptr;
    return file;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace ostrane::log
