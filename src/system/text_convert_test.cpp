#include "system/text_convert.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(TextConvertTest, Utf8RoundTripKeepsEveryCharacter) {
  const std::string utf8 = "Espa\xc3\xb1ol \xe2\x82\xac \xd0\x9f\xd1\x80\xd0\xb8 \xf0\x9f\x98\x80";  // ñ € При 😀
  const std::wstring wide = Utf8ToWide(utf8);
  EXPECT_EQ(wide.substr(0, 9), L"Espa\u00f1ol \u20ac");
  EXPECT_EQ(WideToUtf8(wide), utf8);
}

TEST(TextConvertTest, EmptyTextsStayEmpty) {
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(WideToAnsi(L""), "");
}

TEST(TextConvertTest, MalformedUtf8BecomesReplacementCharacter) {
  EXPECT_EQ(Utf8ToWide("a\xff" "b"), L"a\ufffd" L"b");
}

TEST(TextConvertTest, AnsiKeepsLatinLettersAndMarksTheRest) {
  // The native stand-in and the Western code pages both hold é as one byte.
  EXPECT_EQ(WideToAnsi(L"caf\u00e9"), "caf\xe9");
  EXPECT_EQ(WideToAnsi(L"Quillara Web"), "Quillara Web");
  EXPECT_EQ(AnsiToWide("caf\xe9"), L"caf\u00e9");
  EXPECT_EQ(AnsiToWide(""), L"");
}

}  // namespace
}  // namespace ostrane
