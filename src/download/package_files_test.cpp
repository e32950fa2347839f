#include "download/package_files.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <vector>

namespace ostrane {
namespace {

TEST(ArchiveTypeTest, DecidedByTheFirstBytes) {
  const struct {
    const char* what;
    std::vector<unsigned char> head;
    ArchiveType type;
  } cases[] = {
      {"nothing read", {}, ArchiveType::None},
      {"ZIP signature cut short", {0x50, 0x4B, 0x03}, ArchiveType::None},
      {"a file of just the ZIP signature", {0x50, 0x4B, 0x03, 0x04}, ArchiveType::Zip},
      {"ZIP", {0x50, 0x4B, 0x03, 0x04, 0x14, 0x00}, ArchiveType::Zip},
      {"empty ZIP (end record first)", {0x50, 0x4B, 0x05, 0x06, 0x00, 0x00}, ArchiveType::None},
      {"7z", {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C}, ArchiveType::SevenZip},
      {"7z signature cut short", {0x37, 0x7A, 0xBC, 0xAF, 0x27}, ArchiveType::None},
      {"7z with one byte wrong", {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1D}, ArchiveType::None},
      {"a program", {'M', 'Z', 0x90, 0x00, 0x03, 0x00}, ArchiveType::None},
  };
  for (const auto& c : cases) EXPECT_EQ(ArchiveTypeOf(c.head), c.type) << c.what;
}

TEST(ExtractionFolderNameTest, FileNameWithoutItsLastExtension) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
  } cases[] = {
      {LR"(D:\dl\tool.v2.zip)", LR"(\tool.v2)"},
      {LR"(D:\dl\tool)", LR"(\tool)"},
      {LR"(D:\dl.old\tool)", LR"(\tool)"},  // only the file name loses its extension
      {LR"(D:\dl\.zip)", LR"(\)"},
      {LR"(D:\dl\)", LR"(\)"},
      {L"tool.zip", L""},
      {L"D:/dl/tool.zip", L""},  // only backslashes separate
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractionFolderName(c.path), c.name) << c.path;
}

TEST(IsValidUrlTest, Examples) {
  const struct {
    const wchar_t* url;
    bool valid;
  } cases[] = {
      {L"https://download.example.com/files/setup.exe?id=7#top", true},
      {L"http://a.b", true},
      {L"setup.exe", true},
      {L"example.com?x", true},
      {L"example.com#", true},
      {L"my_host-1.example", true},
      {L"files/setup.exe", false},  // the host part ends at '/', and "files" has no dot
      {L"word", false},
      {L"ftp://host.com/x", false},
      {L"HTTP://host.com", false},  // the scheme is case-sensitive
      {L"https://host", false},
      {L"", false},
      {L"https://", false},
      {L"host.com:8080/x", false},  // no port in the pattern
      {L"host com.x", false},
      {L"host.com/\nx", false},  // '.' does not cross a line end
      {L"host.com/x\r", false},
      {L"host.com/ x \t\x7F", true},
      // A dot counts only with a host character on either side.
      {L"a.", false},
      {L".a", false},
      {L"a.b", true},
      {L"a..b", true},
      {L"..", false},
      {L"...", true},
      {L"a..", true},
      {L"..a", true},
      {L"-.-", true},
      {L"https://.com", false},
      {L"https://a.", false},
      // Letters beyond ASCII are no word characters to the pattern.
      {L"caf\u00e9.com", false},
      {L"example.com/caf\u00e9", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidUrl(c.url), c.valid) << testing::PrintToString(std::wstring(c.url));
}

// The hand-written matcher against std::regex on every short string over characters
// that play a part in the pattern, behind every interesting prefix, and on random
// longer strings over a wider set.
TEST(IsValidUrlTest, AgreesWithTheRegularExpression) {
  const std::regex pattern(R"(^((http|https):\/\/)?([\w.-]+)(\.[\w.-]+)+([\/?#].*)?$)");
  const auto regexSays = [&](const std::string& s) { return std::regex_match(s.begin(), s.end(), pattern); };
  std::size_t compared = 0, accepted = 0;
  const auto compare = [&](const std::string& s) {
    const bool expected = regexSays(s);
    ASSERT_EQ(MatchesUrlPattern(s), expected) << testing::PrintToString(s);
    ++compared;
    accepted += expected;
  };

  const std::string alphabet = "a.-/?:\n";
  const char* prefixes[] = {"", "http://", "https://", "http:/", "https:", "htp://", "Http://", "a.b"};
  for (const char* prefix : prefixes) {
    std::string s = prefix;
    const std::size_t base = s.size();
    for (std::size_t length = 0; length <= 5; ++length) {
      std::vector<std::size_t> digits(length, 0);
      for (;;) {
        s.resize(base);
        for (std::size_t d : digits) s += alphabet[d];
        compare(s);
        if (HasFatalFailure()) return;
        std::size_t i = 0;
        while (i < length && ++digits[i] == alphabet.size()) digits[i++] = 0;
        if (i == length) break;
      }
    }
  }

  const std::string wide = std::string("aZ9_.-/?#:\r\n \t%@") + '\0' + "\x80\xE9\xFF";
  std::mt19937 random(20240611);
  for (int n = 0; n < 20000; ++n) {
    std::string s = prefixes[random() % std::size(prefixes)];
    const std::size_t length = random() % 12;
    for (std::size_t i = 0; i < length; ++i) s += wide[random() % wide.size()];
    compare(s);
    if (HasFatalFailure()) return;
  }
  // The comparison means something only if both answers turned up often.
  EXPECT_GT(accepted, compared / 100);
  EXPECT_LT(accepted, compared - compared / 100);
}

TEST(ClassicInstallArgumentsTest, EachFlagLandsInItsDigits) {
  const struct {
    int flag;  // -1: none set
    const wchar_t* digits;
  } cases[] = {
      {-1, L"0000000101000000"}, {0, L"0000000101000010"}, {1, L"0000000101001000"}, {2, L"0000000101000100"},
      {3, L"0010000101000000"},  {4, L"0000010101000000"}, {5, L"1000000101010000"},  // position 1 and again position
                                                                                      // 12
      {6, L"0100000101000000"},  {7, L"0000000101100000"},
  };
  for (const auto& c : cases) {
    std::array<bool, 8> flags{};
    if (c.flag >= 0) flags[c.flag] = true;
    EXPECT_EQ(ClassicInstallArguments(flags), std::wstring(L"/S /FORCEINSTALL ") + c.digits) << "flag " << c.flag;
  }
  std::array<bool, 8> all;
  all.fill(true);
  EXPECT_EQ(ClassicInstallArguments(all), L"/S /FORCEINSTALL 1110010101111110");
}

TEST(CommandLineTest, QuotesTheProgramAndAlwaysAddsTheSpace) {
  EXPECT_EQ(CommandLine(LR"(C:\a b\setup.exe)", L"/S /D=1"), LR"("C:\a b\setup.exe" /S /D=1)");
  EXPECT_EQ(CommandLine(LR"(C:\setup.exe)", L""), LR"("C:\setup.exe" )");
}

}  // namespace
}  // namespace ostrane
