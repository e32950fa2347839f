#include "system/encoding.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

struct Base62Case {
  std::string input;
  std::string expected;
  friend void PrintTo(const Base62Case& c, std::ostream* os) { *os << c.input.size() << "-bytes-" << c.expected; }
};

class Base62Test : public ::testing::TestWithParam<Base62Case> {};

TEST_P(Base62Test, EncodesBigEndianNumber) { EXPECT_EQ(Base62(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Vectors, Base62Test,
    ::testing::Values(Base62Case{"", ""}, Base62Case{std::string(1, '\0'), ""},
                      Base62Case{std::string(3, '\0'), ""}, Base62Case{std::string(1, '\x3d'), "Z"},
                      Base62Case{std::string(1, '\x3e'), "10"}, Base62Case{std::string("\0\x01", 2), "1"},
                      Base62Case{"\xff", "47"},            // 255 = 4*62 + 7
                      Base62Case{std::string("\x01\x00", 2), "48"},  // 256 = 4*62 + 8
                      Base62Case{"\xff\xff\xff\xff", "4GFfc3"},  // 2^32-1
                      Base62Case{std::string("\0\0\xff\xff\xff\xff", 6), "4GFfc3"},
                      Base62Case{"Hello World!", "t8DGCJrgKz3AYSDn"}));

TEST(Base62Test, DigestSizedInputFillsTheWholeDigitArray) {
  // 2^256 - 1 (checked against arbitrary-precision division).
  EXPECT_EQ(Base62(std::string(32, '\xff')), "YHJSKWDa6oz1al1yMhwzwM8llg7hJNUca2J5RoW8xP1");
}

TEST(HexLowerTest, TwoLowercaseDigitsPerByte) {
  EXPECT_EQ(HexLower(std::string("\x00\x0f\xa0\xff", 4)), "000fa0ff");
  EXPECT_EQ(HexLower(""), "");
}

struct CodeCase {
  std::wstring path;
  std::wstring expected;
  friend void PrintTo(const CodeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.path); }
};

class CampaignCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CampaignCodeTest, TakesSevenCharactersAfterLastUnderscore) {
  EXPECT_EQ(CampaignCodeFromPath(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CampaignCodeTest,
    ::testing::Values(CodeCase{L"C:\\Downloads\\setup_ab1-234.exe", L"ab1-234"},
                      CodeCase{L"C:\\Downloads\\setup_ab1234.exe", L""},        // no '-'
                      CodeCase{L"C:\\Downloads\\setup_ab1-2345.exe", L""},      // 8 characters
                      CodeCase{L"C:\\Downloads\\setup.exe", L""},               // no '_'
                      CodeCase{L"C:\\my_folder\\setup.exe", L""},               // '_' in a folder
                      CodeCase{L"C:\\my_ab-cdef\\setup", L""},                  // folder part runs on
                      CodeCase{L"C:\\dl_ab-cdef.d\\setup", L"ab-cdef"},         // a folder that happens to fit
                      CodeCase{L"C:\\x\\s_q-1.2.3.exe", L"q-1.2.3"},            // cut at the last '.' only
                      CodeCase{L"C:\\x\\s_q-1.2.3x.exe", L""},                  // 8 characters
                      CodeCase{L"C:\\x\\s_abc-def", L"abc-def"},                // no extension
                      CodeCase{L"C:\\x\\a_b_abc-def.exe", L"abc-def"}));         // the last '_' counts

}  // namespace
}  // namespace ostrane
