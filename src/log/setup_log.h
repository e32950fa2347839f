// The setup log: one text file per run that a support person can read when an
// install goes wrong. Every part of the program adds its steps with LogLine; the
// log never stops the caller, whatever happens to its file.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace ostrane::log {

// Where the log's bytes go. Append returns false once the bytes cannot be kept; the
// log then gives the sink nothing more and keeps no later line.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual bool Append(std::string_view bytes) = 0;
};

// A path as the system's file calls take it: UTF-16 on Windows, bytes elsewhere.
#ifdef _WIN32
using LogPath = std::wstring;
#else
using LogPath = std::string;
#endif

// A file, created anew (an existing one is replaced) and readable by others while
// the program writes it; null when it cannot be created. Each platform has its own
// (log_file_win.cpp, log_file_posix.cpp): file streams would bring the standard
// library's stream and locale code into the installer.
std::unique_ptr<LogSink> CreateLogFile(const LogPath& path);

class SetupLog {
 public:
  static constexpr std::size_t kDefaultLimit = 5 * 1024 * 1024;

  explicit SetupLog(std::size_t limitBytes = kDefaultLimit);

  // Lines written before the sink comes wait in memory and go to it first. A null
  // sink (the file could not be made) is Discard.
  void Attach(std::unique_ptr<LogSink> sink);
  // No sink will come (the run keeps no log): what waits is dropped, and so is
  // every later line.
  void Discard();

  // One line: the time since the log was made, the thread's number (the order in
  // which threads first wrote), the area and the text. Control characters in the
  // text become spaces and bytes that are not UTF-8 become U+FFFD, so that each
  // step stays one readable line. Past the limit one line says that lines were
  // dropped, and nothing more is written.
  void Write(std::string_view area, std::string_view text);

 private:
  // Under mutex_.
  void Put(const std::string& line);
  bool Give(std::string_view bytes);  // to the sink; false (and no sink) when it failed

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  const std::size_t limit_;
  std::mutex mutex_;
  std::unique_ptr<LogSink> sink_;
  std::string waiting_;  // lines before Attach
  std::size_t written_ = 0;
  bool discarded_ = false;
  bool full_ = false;
};

// The program's log, and a line for it.
SetupLog& TheSetupLog();
void LogLine(std::string_view area, std::string_view text);

// Text from outside made one line of UTF-8.
std::string OneLine(std::string_view text);

}  // namespace ostrane::log
