#include "log/setup_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace ostrane::log {
namespace {

// Keeps what it is given; fails from a chosen call on, by refusing or by throwing.
class KeptLines : public LogSink {
 public:
  struct Record {
    std::string bytes;
    int calls = 0;
  };
  explicit KeptLines(std::shared_ptr<Record> record, int failFrom = 0, bool throws = false)
      : record_(std::move(record)), failFrom_(failFrom), throws_(throws) {}
  bool Append(std::string_view bytes) override {
    ++record_->calls;
    if (failFrom_ != 0 && record_->calls >= failFrom_) {
      if (throws_) throw std::runtime_error("disk gone");
      return false;
    }
    record_->bytes.append(bytes);
    return true;
  }

 private:
  std::shared_ptr<Record> record_;
  int failFrom_;
  bool throws_;
};

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::istringstream in(bytes);
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "every line ends with CR LF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// What follows the time and the thread.
std::string Body(const std::string& line) {
  const auto at = line.find(" T");
  return at == std::string::npos ? line : line.substr(line.find_first_not_of(' ', line.find(' ', at + 1)));
}

TEST(SetupLogTest, EachStepIsOneLineWithItsTimeThreadAndArea) {
  auto record = std::make_shared<KeptLines::Record>();
  SetupLog log;
  log.Write("start", "before the file");
  log.Attach(std::make_unique<KeptLines>(record));
  log.Write("page", "LicensePage shown");
  std::thread([&] { log.Write("download", "from another thread"); }).join();

  const auto lines = Lines(record->bytes);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Body(lines[0]), "start: before the file") << "lines before the file go to it first";
  EXPECT_EQ(Body(lines[1]), "page: LicensePage shown");
  EXPECT_EQ(Body(lines[2]), "download: from another thread");
  EXPECT_NE(lines[0].find(" ms  T"), std::string::npos) << lines[0];
  const auto thread = [](const std::string& line) { return line.substr(line.find(" T") + 1, 3); };
  EXPECT_EQ(thread(lines[0]), thread(lines[1]));
  EXPECT_NE(thread(lines[1]), thread(lines[2])) << "another thread, another number";
}

TEST(SetupLogTest, TextFromOutsideStaysOneReadableLine) {
  const struct {
    const char* what;
    std::string text;
    std::string line;
  } cases[] = {
      {"plain", "C:\\Users\\Ana\\setup.exe /S", "C:\\Users\\Ana\\setup.exe /S"},
      {"new lines", "first\r\nsecond\nthird", "first  second third"},
      {"tab and NUL", std::string("a\tb\0c", 5), "a b c"},
      {"DEL", "a\x7F" "b", "a b"},
      {"UTF-8 kept", "Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"Latin-1", "Jos\xE9", "Jos\xEF\xBF\xBD"},
      {"cut sequence", "ab\xE2\x82", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"overlong", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(OneLine(c.text), c.line) << c.what;
}

TEST(SetupLogTest, PastItsLimitOneLineSaysSoAndNothingMoreIsWritten) {
  auto record = std::make_shared<KeptLines::Record>();
  SetupLog log(300);
  log.Attach(std::make_unique<KeptLines>(record));
  for (int i = 0; i < 50; ++i) log.Write("event", "line " + std::to_string(i));
  const int callsWhenFull = record->calls;
  log.Write("event", "after the limit");

  const auto lines = Lines(record->bytes);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "The log reached its limit of 300 bytes; later lines were dropped.");
  EXPECT_LE(record->bytes.size() - lines.back().size() - 2, 300u) << "the lines before the notice stay within the limit";
  EXPECT_EQ(Body(lines[lines.size() - 2]).rfind("event: line ", 0), 0u);
  EXPECT_EQ(record->calls, callsWhenFull) << "nothing after the notice";

  // The same bound holds for lines that wait for the file.
  auto early = std::make_shared<KeptLines::Record>();
  SetupLog waiting(300);
  for (int i = 0; i < 50; ++i) waiting.Write("event", "line " + std::to_string(i));
  waiting.Attach(std::make_unique<KeptLines>(early));
  EXPECT_EQ(Lines(early->bytes).back(), "The log reached its limit of 300 bytes; later lines were dropped.");
  EXPECT_LE(early->bytes.size(), 300u + lines.back().size() + 2);

  // A line that ends exactly at the limit is kept; the next one is not.
  auto measure = std::make_shared<KeptLines::Record>();
  SetupLog measured;
  measured.Attach(std::make_unique<KeptLines>(measure));
  measured.Write("event", "line");
  auto exact = std::make_shared<KeptLines::Record>();
  SetupLog exactly(measure->bytes.size());
  exactly.Attach(std::make_unique<KeptLines>(exact));
  exactly.Write("event", "line");
  exactly.Write("event", "line");
  const auto kept = Lines(exact->bytes);
  ASSERT_EQ(kept.size(), 2u) << exact->bytes;
  EXPECT_EQ(Body(kept[0]), "event: line");
  EXPECT_EQ(kept[1].rfind("The log reached its limit of ", 0), 0u) << kept[1];

  // Without a limit of its own the log keeps 5 MiB.
  auto full = std::make_shared<KeptLines::Record>();
  SetupLog byDefault;
  byDefault.Attach(std::make_unique<KeptLines>(full));
  const std::string text(1000, 'x');
  for (int i = 0; i < 5300; ++i) byDefault.Write("event", text);  // 5300 lines of over 1000 bytes
  const std::string notice = "The log reached its limit of 5242880 bytes; later lines were dropped.";
  EXPECT_EQ(Lines(full->bytes).back(), notice);
  const std::size_t before = full->bytes.size() - notice.size() - 2;
  EXPECT_LE(before, 5242880u);
  EXPECT_GT(before, 5242880u - 1100u) << "lines were kept up to the limit";
}

// A file that fails, by refusing or by throwing, is given nothing more, and the
// writers go on as if nothing happened.
TEST(SetupLogTest, AFailingFileNeverStopsTheWriter) {
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "throws" : "refuses");
    auto record = std::make_shared<KeptLines::Record>();
    SetupLog log;
    log.Attach(std::make_unique<KeptLines>(record, 2, throws));
    for (int i = 0; i < 5; ++i) EXPECT_NO_THROW(log.Write("step", std::to_string(i)));
    EXPECT_EQ(record->calls, 2) << "the broken file was not tried again";
    EXPECT_EQ(Lines(record->bytes).size(), 1u);
    // Nor are the later lines kept in memory: nothing is waiting for another file.
    auto other = std::make_shared<KeptLines::Record>();
    log.Attach(std::make_unique<KeptLines>(other));
    EXPECT_TRUE(other->bytes.empty()) << other->bytes;
  }

  // A file that cannot be made: nothing waits in memory for it.
  SetupLog log;
  log.Write("start", "early");
  log.Attach(CreateLogFile("/nonexistent-folder/for/sure/setup.log"));
  auto record = std::make_shared<KeptLines::Record>();
  log.Attach(std::make_unique<KeptLines>(record));
  log.Write("step", "later");
  EXPECT_TRUE(record->bytes.empty()) << "a run whose log could not be made keeps no log";
}

TEST(SetupLogTest, TheFileHoldsTheLinesWhileTheProgramRuns) {
  const auto path = std::filesystem::temp_directory_path() / "ostrane-setup-log-test.log";
  {
    std::ofstream old(path);
    old << "an earlier run's log\n";
  }
  SetupLog log;
  log.Attach(CreateLogFile(path.string()));
  log.Write("step", "one");
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto lines = Lines(bytes);
  ASSERT_EQ(lines.size(), 1u) << "an earlier file of that name is replaced";
  EXPECT_EQ(Body(lines[0]), "step: one") << "written before the log ends";
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace ostrane::log
