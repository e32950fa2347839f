// PostJson against the local HTTPS test server, and the request context of this run.
#include "net/post_json.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winhttp.h>

#include "net/winhttp_common.h"

#include "settings/configuration_manager.h"
#include "system/digest.h"
#include "net/ostrane_exception.h"
#include "net/request_context.h"
#include "system/system_facts.h"
#include "system/text_convert.h"
#include "testing/settings_cleanup.h"
#include "testing/test_server.h"

namespace ostrane {
namespace {

using nlohmann::json;
using testing::ServerRecords;
using testing::ServerRules;

const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new testing::SettingsWorkFolderCleanup);

TEST(PostJsonTest, PostsToThePathOnPort443WithHeadersInOrder) {
  ServerRecords records;
  const std::string body = "{\"a\":\"caf\xC3\xA9\",\"n\":[1,2,3]}";
  const HeaderList headers = {{L"Authorization", L"Signature=00ff"}, {L"X-Ostrane-Test", L"one"}};
  std::string response;
  std::uint32_t status = 0;
  // Neither the scheme, nor the port, nor the query is used.
  EXPECT_TRUE(PostJson(L"http://localhost:8080/zbd?x=1&y=2", body, headers, response, status));
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(response, "{}");

  const auto sent = records.New();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["method"], "POST");
  EXPECT_EQ(sent[0]["path"], "/zbd");
  EXPECT_EQ(sent[0]["body"], body);
  std::vector<std::pair<std::string, std::string>> ours;
  for (const auto& header : sent[0]["headers"]) {
    const std::string name = header[0];
    if (name == "Authorization" || name == "X-Ostrane-Test" || name == "Expect" || name == "Content-Type")
      ours.emplace_back(name, header[1]);
  }
  const std::vector<std::pair<std::string, std::string>> expected = {{"Authorization", "Signature=00ff"},
                                                                     {"X-Ostrane-Test", "one"},
                                                                     {"Expect", "100-continue"},
                                                                     {"Content-Type", "application/json"}};
  EXPECT_EQ(ours, expected);
}

TEST(PostJsonTest, AnyReplyIsASuccessWithItsStatus) {
  const struct {
    const char* what;
    json rule;
    std::uint32_t status;
    std::string response;
  } cases[] = {
      {"500", {{"status", 500}, {"body", "{\"error\":\"down\"}"}}, 500, "before{\"error\":\"down\"}"},
      {"404", {{"status", 404}, {"body", "gone"}}, 404, "beforegone"},
      {"empty body", {{"status", 200}, {"body", ""}}, 200, "before"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ServerRules rules(json{{"/zbd", c.rule}});
    std::string response = "before";  // the reply is appended
    std::uint32_t status = 0;
    EXPECT_TRUE(PostJson(L"https://localhost/zbd", "{}", {}, response, status));
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(response, c.response);
  }
}

TEST(PostJsonTest, FailuresThrowAndLeaveTheStatus) {
  const wchar_t* urls[] = {
      L"not a url",
      L"https://127.0.0.1/zbd",  // the certificate names localhost only
  };
  for (const wchar_t* url : urls) {
    std::string response;
    std::uint32_t status = 7;
    EXPECT_THROW(PostJson(url, "{}", {}, response, status), OstraneException) << url;
    EXPECT_EQ(status, 7u);
    EXPECT_EQ(response, "");
  }
}

TEST(MakeRequestContextTest, SignsThisRunsGuidAndTimestampWithTheSystemFacts) {
  const auto config = ConfigurationManager::Instance();
  const RequestContext first = MakeRequestContext();
  const RequestContext second = MakeRequestContext();
  const std::string guid = config->GetMachineGuid();
  const std::string timestamp = config->GetTimestamp();
  ASSERT_FALSE(guid.empty());
  ASSERT_EQ(timestamp.size(), 14u);
  EXPECT_EQ(first.body["1"], guid);
  EXPECT_EQ(first.body["2"], timestamp);
  EXPECT_EQ(first.body["31"], OsVersionText());
  EXPECT_EQ(first.body["38"], "1");  // our 32-bit program in a 64-bit prefix
  ASSERT_EQ(first.headers.size(), 1u);
  EXPECT_EQ(first.headers[0].second, L"Signature=" + Utf8ToWide(Sha256Hex(guid + timestamp)));
  EXPECT_EQ(second.body, first.body);
  EXPECT_EQ(second.headers, first.headers);
}

}  // namespace
}  // namespace ostrane

namespace ostrane {
namespace {

// Every WinHTTP session of ours (requests, analytics, downloads) takes its protocols
// from here. The local server speaks TLS 1.2 or later, so the posts above show that
// what is offered still connects.
TEST(SecureProtocolsTest, NeverOffersSsl3AndKeepsTls10) {
  const DWORD protocols = SecureProtocolsForThisSystem();
  EXPECT_EQ(protocols & WINHTTP_FLAG_SECURE_PROTOCOL_SSL3, 0u);
  EXPECT_NE(protocols & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1, 0u);
  EXPECT_NE(protocols & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2, 0u) << "Wine reports Windows 7 SP1";
}

}  // namespace
}  // namespace ostrane
