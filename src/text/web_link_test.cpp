#include "text/web_link.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(WebLinkTest, OnlyAbsoluteWebUrlsWithAHostOpen) {
  const struct {
    const wchar_t* url;
    bool opens;
  } cases[] = {
      {L"https://www.quillara.example/privacy", true},
      {L"http://partner.example/terms?x=1#top", true},
      {L"HTTPS://PARTNER.EXAMPLE", true},
      {L"https://user@partner.example/", true},
      {L"https://localhost:8443/eula", true},
      {L"", false},
      {L"https://", false},
      {L"https:///etc/passwd", false},
      {L"https://@/x", false},
      {L"https://:443/x", false},
      {L"http:partner.example", false},
      {L"file:///C:/Windows/System32/calc.exe", false},
      {L"file://server/share/setup.exe", false},
      {L"javascript:alert(1)", false},
      {L"ms-settings:privacy", false},
      {L"C:\\Windows\\System32\\calc.exe", false},
      {L"\\\\server\\share\\setup.exe", false},
      {L"calc.exe", false},
      {L"//partner.example/x", false},
      {L" https://partner.example", false},
      {L"https://partner.example/a b", false},
      {L"https://partner.example\\..\\x", false},
      {L"https://partner.example/\nfile:", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWebUrl(c.url), c.opens) << std::wstring(c.url).size();
}

TEST(WebLinkTest, CampaignTextCannotOpenOrCloseALink) {
  const struct {
    const wchar_t* text;
    const wchar_t* escaped;
  } cases[] = {
      {L"Quillara Tools", L"Quillara Tools"},
      {L"1 < 2 > 0", L"1 < 2 > 0"},
      {L"<a href=\"file:///c:/x\">click</a>", L"<\u200Ba href=\"file:///c:/x\">click<\u200B/a>"},
      {L"<A HREF=x>", L"<\u200BA HREF=x>"},
      {L"ends with <", L"ends with <"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeLinkText(c.text), c.escaped);
}

TEST(WebLinkTest, UrlsCannotLeaveTheirAttribute) {
  EXPECT_EQ(EscapeLinkUrl(L"https://partner.example/p?a=1&b=2"), L"https://partner.example/p?a=1&b=2");
  EXPECT_EQ(EscapeLinkUrl(L"https://x.example/\">evil</a><a href=\"file:c:"),
            L"https://x.example/%22%3Eevil%3C/a%3E%3Ca%20href=%22file:c:");
  EXPECT_EQ(EscapeLinkUrl(L"https://x.example/'\t"), L"https://x.example/%27%09");
}

}  // namespace
}  // namespace ostrane
