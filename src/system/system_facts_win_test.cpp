#include "system/system_facts.h"

#include <gtest/gtest.h>

#include <regex>

namespace ostrane {
namespace {

TEST(Md5HexTest, MatchesRfc1321Suite) {
  const struct {
    std::wstring text;
    const char* digest;
  } cases[] = {
      {L"", "d41d8cd98f00b204e9800998ecf8427e"},
      {L"a", "0cc175b9c0f1b6a831c399e269772661"},
      {L"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {L"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {L"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {L"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Hex(c.text), c.digest) << c.text.size() << " characters";
}

TEST(Md5HexTest, HashesTheAnsiBytes) {
  // In the Western code page é is the single byte 0xE9 (not UTF-8's two bytes).
  ASSERT_EQ(::GetACP(), 1252u) << "this check assumes the Western ANSI code page";
  EXPECT_EQ(Md5Hex(L"caf\u00e9"), "961f50f6282239d09e48f812c1ca7276");
}

TEST(SystemFactsTest, OurThirtyTwoBitProgramRunsUnderWow64) { EXPECT_TRUE(IsWow64()); }

TEST(SystemFactsTest, OsVersionTextIsTheVersionTheSystemAdmitsTo) {
  const std::string text = OsVersionText();
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(text, parts, std::regex(R"((\d+)\.(\d+)\.(\d+))"))) << text;
  const auto major = static_cast<WORD>(std::stoi(parts[1])), minor = static_cast<WORD>(std::stoi(parts[2]));
  EXPECT_TRUE(IsOsVersionAtLeast(major, minor, 0));
  EXPECT_FALSE(IsOsVersionAtLeast(major, static_cast<WORD>(minor + 1), 0));
  EXPECT_FALSE(IsOsVersionAtLeast(static_cast<WORD>(major + 1), 0, 0));
}

TEST(SystemFactsTest, InstallerVersionIsTheFileVersionOfTheResource) {
  EXPECT_EQ(InstallerVersionText(), "3.14.15.926");
}

}  // namespace
}  // namespace ostrane
