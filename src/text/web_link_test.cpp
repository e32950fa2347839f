#include "text/web_link.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(WebLinkTest, OnlyAbsoluteWebUrlsWithAHostOpen) {
  constexpr const char* kOpens = nullptr;
  constexpr char kNoScheme[] = "does not begin with http:// or https://";
  constexpr char kBadCharacter[] = "holds a space, a control character or a backslash";
  constexpr char kNoHost[] = "names no host";
  const struct {
    const wchar_t* url;
    const char* why;  // what the log and campaign-check say; kOpens for a web page
  } cases[] = {
      {L"https://www.quillara.example/privacy", kOpens},
      {L"http://partner.example/terms?x=1#top", kOpens},
      {L"HTTPS://PARTNER.EXAMPLE", kOpens},
      {L"https://user@partner.example/", kOpens},
      {L"https://localhost:8443/eula", kOpens},
      {L"", "empty"},
      {L"https://", kNoHost},
      {L"https:///etc/passwd", kNoHost},
      {L"https://@/x", kNoHost},
      {L"https://:443/x", kNoHost},
      {L"http:partner.example", kNoScheme},
      {L"www.example.com/privacy", kNoScheme},
      {L"file:///C:/Windows/System32/calc.exe", kNoScheme},
      {L"file://server/share/setup.exe", kNoScheme},
      {L"javascript:alert(1)", kNoScheme},
      {L"ms-settings:privacy", kNoScheme},
      {L"C:\\Windows\\System32\\calc.exe", kNoScheme},
      {L"\\\\server\\share\\setup.exe", kNoScheme},
      {L"calc.exe", kNoScheme},
      {L"//partner.example/x", kNoScheme},
      {L" https://partner.example", kNoScheme},
      {L"https://partner.example/a b", kBadCharacter},
      {L"https://partner.example\\..\\x", kBadCharacter},
      {L"https://partner.example/\nfile:", kBadCharacter},
  };
  for (const auto& c : cases) {
    const char* why = WhyNotWebUrl(c.url);
    EXPECT_STREQ(why, c.why) << std::wstring(c.url).size();
    EXPECT_EQ(IsWebUrl(c.url), c.why == kOpens) << std::wstring(c.url).size();
  }
}

// What is logged of a link: never its query or fragment, which offer placeholders fill.
TEST(WebLinkTest, TheLinkBeforeItsQuery) {
  const struct {
    const wchar_t* url;
    const wchar_t* before;
  } cases[] = {
      {L"https://p.example/privacy?guid=0f3a&u=me", L"https://p.example/privacy"},
      {L"www.example.com/privacy#section?x", L"www.example.com/privacy"},
      {L"https://p.example/terms", L"https://p.example/terms"},
      {L"?only=query", L""},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(LinkBeforeQuery(c.url), c.before);
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
