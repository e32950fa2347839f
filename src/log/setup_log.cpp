#include "log/setup_log.h"

#include <atomic>
#include <cstdio>

namespace ostrane::log {
namespace {

constexpr char kNewLine[] = "\r\n";  // Notepad on Windows 7 knows no other

int ThreadNumber() {
  static std::atomic<int> next{1};
  thread_local const int number = next++;
  return number;
}

// Length of the UTF-8 sequence that starts text at `at`, or 0 when it is not one.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      line += (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
      ++at;
    } else if (const std::size_t length = SequenceLength(text, at); length != 0) {
      line.append(text.substr(at, length));
      at += length;
    } else {
      line += "\xEF\xBF\xBD";
      ++at;
    }
  }
  return line;
}

SetupLog::SetupLog(std::size_t limitBytes) : limit_(limitBytes) {}

bool SetupLog::Give(std::string_view bytes) {
  try {
    if (sink_->Append(bytes)) return true;
  } catch (...) {
  }
  // A broken file is given nothing more, and no line waits in memory for another.
  sink_.reset();
  discarded_ = true;
  return false;
}

void SetupLog::Attach(std::unique_ptr<LogSink> sink) {
  if (!sink) {
    Discard();
    return;
  }
  std::lock_guard lock(mutex_);
  if (discarded_) return;
  sink_ = std::move(sink);
  if (!waiting_.empty()) Give(waiting_);
  waiting_.clear();
  waiting_.shrink_to_fit();
}

void SetupLog::Discard() {
  std::lock_guard lock(mutex_);
  discarded_ = true;
  sink_.reset();
  waiting_.clear();
  waiting_.shrink_to_fit();
}

void SetupLog::Write(std::string_view area, std::string_view text) {
  std::string body = OneLine(area);
  body += ": ";
  body += OneLine(text);
  body += kNewLine;
  const int thread = ThreadNumber();
  std::lock_guard lock(mutex_);
  // The time is taken in turn, so that the lines' times never go back.
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
  char head[48];
  std::snprintf(head, sizeof head, "%8lld ms  T%-2d ", static_cast<long long>(elapsed), thread);
  Put(head + body);
}

void SetupLog::Put(const std::string& line) {
  if (discarded_ || full_) return;
  if (written_ + line.size() > limit_) {
    full_ = true;
    const std::string last = "The log reached its limit of " + std::to_string(limit_) +
                             " bytes; later lines were dropped." + kNewLine;
    if (sink_) {
      Give(last);
    } else {
      waiting_ += last;
    }
    return;
  }
  written_ += line.size();
  if (sink_) {
    Give(line);
  } else {
    waiting_ += line;
  }
}

SetupLog& TheSetupLog() {
  // Never destroyed: threads that nobody joins may still write while the process ends.
  static SetupLog* log = new SetupLog();
  return *log;
}

void LogLine(std::string_view area, std::string_view text) {
  try {
    TheSetupLog().Write(area, text);
  } catch (...) {
    // Out of memory while composing a line: the line is lost, the caller goes on.
  }
}

}  // namespace ostrane::log
