#include "campaign/api_manager.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "net/ostrane_exception.h"
#include "settings/configuration_manager.h"
#include "testing/fake_server_link.h"
#include "testing/fake_system_environment.h"

namespace ostrane {
namespace {

using nlohmann::json;
using testing::FakeServerLink;
using Reply = FakeServerLink::Reply;
using std::chrono::milliseconds;

ConfigRequestFacts SampleFacts() {
  return ConfigRequestFacts{L"1.0.0.7", L"en_US", L"Quillara", L"QuillaraWeb", L"QuillaraWeb_CPP", "ab1-234", "10.0.19045"};
}

TEST(ConfigRequestTest, EightStringsInKeyOrderWithoutWhitespace) {
  EXPECT_EQ(BuildConfigRequest(SampleFacts()).dump(),
            R"({"a":"Quillara","i":"QuillaraWeb","l":"en","o":"10.0.19045","plv":"1.0.0.7","prv":"0.1",)"
            R"("s":"QuillaraWeb_CPP","u":"ab1-234"})");
}

TEST(ConfigRequestTest, LanguageIsTheCodesFirstTwoLettersLowerCased) {
  const struct {
    std::wstring code;
    std::string sent;
  } cases[] = {{L"en_US", "en"}, {L"pt_BR", "pt"}, {L"DE_de", "de"}, {L"x", "x"}, {L"", ""}};
  for (const auto& c : cases) {
    ConfigRequestFacts facts = SampleFacts();
    facts.languageCode = c.code;
    EXPECT_EQ(BuildConfigRequest(facts)["l"], c.sent);
  }
}

TEST(ConfigRequestTest, MissingFactsAreSentAsEmptyStrings) {
  ConfigRequestFacts facts = SampleFacts();
  facts.campaignCode.clear();
  facts.osVersion.clear();
  const json request = BuildConfigRequest(facts);
  EXPECT_EQ(request.at("u"), "");
  EXPECT_EQ(request.at("o"), "");
  EXPECT_EQ(request.size(), 8u);
}

class RequestConfigTest : public ::testing::Test {
 protected:
  std::unique_ptr<json> Request(FakeServerLink& link) {
    ApiManager api(std::shared_ptr<ServerLink>(&link, [](ServerLink*) {}));
    return api.RequestConfig(settings, SampleFacts());
  }

  testing::FakeSystemEnvironment machine;
  ConfigurationManager settings{machine, BuildOptions{"ISV", true, false, L"campaign.test", L"d.test", L"w.test", true, ""}};
};

TEST_F(RequestConfigTest, RetriesFailedStatusesAndParsesTheLastReply) {
  const struct {
    const char* what;
    std::vector<Reply> replies;
    std::size_t posts;
    std::size_t pauses;
    json result;
  } cases[] = {
      {"200 at once", {{200, R"({"o":[]})"}}, 1, 0, json{{"o", json::array()}}},
      {"503, 503, 200", {{503, "busy"}, {503, "busy"}, {200, R"({"f":{"m":2}})"}}, 3, 2, json{{"f", {{"m", 2}}}}},
      {"redirect status counts as success", {{302, R"({"l":"US"})"}}, 1, 0, json{{"l", "US"}}},
      {"399 counts, 400 does not", {{400, "{}"}, {399, "[1]"}}, 2, 1, json{1}},
      // Three failures: the third pauses too, then its body is the campaign.
      {"500 three times", {{500, "{}"}, {500, "{}"}, {500, "{}"}}, 3, 3, json::object()},
      {"array reply", {{200, " [ ] \n"}}, 1, 0, json::array()},
  };
  for (const auto& c : cases) {
    FakeServerLink link(c.replies);
    const auto document = Request(link);
    ASSERT_NE(document, nullptr) << c.what;
    EXPECT_EQ(*document, c.result) << c.what;
    const auto posts = link.posts();
    EXPECT_EQ(posts.size(), c.posts) << c.what;
    EXPECT_EQ(link.pauses(), std::vector<milliseconds>(c.pauses, milliseconds(5000))) << c.what;
    for (const auto& post : posts) {
      EXPECT_EQ(post.url, L"https://campaign.test/o");
      EXPECT_EQ(post.body, BuildConfigRequest(SampleFacts()).dump());
      EXPECT_TRUE(post.headers.empty());
    }
  }
}

TEST_F(RequestConfigTest, FailuresAndWhatTheyThrow) {
  const struct {
    const char* what;
    std::vector<Reply> replies;
    std::size_t posts;
    std::size_t pauses;
    bool parseError;  // else OstraneException
  } cases[] = {
      {"whitespace only", {{200, " \t\r\n\v\f "}}, 1, 0, false},
      {"empty body", {{200, ""}}, 1, 0, false},
      {"malformed JSON", {{200, "{\"o\": ["}}, 1, 0, true},
      {"comments are not JSON", {{200, "{} // campaign"}}, 1, 0, true},
      {"error page after three attempts", {{500, "<html>"}, {500, "<html>"}, {500, "<html>"}}, 3, 3, true},
      // A transport failure ends the request at once: no retry, no pause.
      {"transport failure", {{200, "", true}}, 1, 0, false},
      {"transport failure after a 503", {{503, "{}"}, {200, "", true}}, 2, 1, false},
  };
  for (const auto& c : cases) {
    FakeServerLink link(c.replies);
    if (c.parseError) {
      EXPECT_THROW(Request(link), json::parse_error) << c.what;
    } else {
      EXPECT_THROW(Request(link), OstraneException) << c.what;
    }
    EXPECT_EQ(link.posts().size(), c.posts) << c.what;
    EXPECT_EQ(link.pauses().size(), c.pauses) << c.what;
  }
}

TEST_F(RequestConfigTest, WithoutAUrlNothingIsSent) {
  settings.m_configUrl.clear();
  FakeServerLink link;
  EXPECT_THROW(Request(link), OstraneException);
  EXPECT_TRUE(link.posts().empty());
}

// Each fact of the request comes from its own setting: one read from the wrong field
// (the product id and the source tag look alike) sends a wrong campaign key.
TEST_F(RequestConfigTest, TheRequestFactsComeFromTheirOwnSettings) {
  settings.m_fileVersion = L"1.2.3.4";
  settings.m_languageCode = L"DE-de";
  settings.m_brand = L"brand-word";
  settings.m_productId = L"product-id";
  settings.m_sourceTag = L"source-tag";
  const json request = BuildConfigRequest(ConfigRequestFactsFrom(settings, "code7", "10.0.19045"));
  const std::pair<const char*, const char*> expected[] = {
      {"plv", "1.2.3.4"}, {"l", "de"}, {"a", "brand-word"}, {"i", "product-id"},
      {"s", "source-tag"}, {"u", "code7"}, {"o", "10.0.19045"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(request.at(key), value) << key;
}

// The user quits while the server is still answering: what it answers then is not the
// campaign, and nothing more is asked.
TEST_F(RequestConfigTest, AnAbortedRequestTakesNoAnswerAndAsksNoMore) {
  FakeServerLink link(std::vector<Reply>{{500, "{}"}, {200, R"({"o":[]})"}});
  link.Hold();
  ApiManager api(std::shared_ptr<ServerLink>(&link, [](ServerLink*) {}));
  auto request = std::async(std::launch::async, [&] { return api.RequestConfig(settings, SampleFacts()); });
  while (link.posts().empty()) std::this_thread::sleep_for(milliseconds(1));
  api.Abort();
  link.Release();
  EXPECT_THROW(request.get(), OstraneException);
  EXPECT_EQ(link.posts().size(), 1u);
  EXPECT_TRUE(link.pauses().empty()) << "no pause before an attempt that will not come";
  EXPECT_THROW(api.RequestConfig(settings, SampleFacts()), OstraneException) << "nor any later request";
  EXPECT_EQ(link.posts().size(), 1u);
}

}  // namespace
}  // namespace ostrane
