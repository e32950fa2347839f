#include "analytics/analytics_record.h"

#include <gtest/gtest.h>

#include "campaign/package.h"
#include "testing/sample_request.h"

namespace ostrane {
namespace {

using nlohmann::json;

RequestContext Context(const std::wstring& cfl = L"", const std::wstring& ch = L"") {
  RequestFacts facts = testing::SampleRequestFacts();
  facts.campaignCfl = cfl;
  facts.campaignCh = ch;
  return BuildRequestContext(facts);
}

json OfferJson() {
  return json{{"ad", {{"o", "offer-a"}, {"f", "flow-a"}}},
              {"ps", {{"i", "a.png"}, {"dn", "A"}, {"u", "https://p.test/a.exe"}, {"c", "ch-9"}}}};
}

TEST(BaseRecordTest, MainAndOfferPackages) {
  const Package main(Context(), L"QuillaraWeb", L"", L"Quillara Web", L"");
  EXPECT_EQ(main.m_baseEvent["5"], "Quillara Web");
  EXPECT_EQ(main.m_baseEvent["10"], 1);
  EXPECT_EQ(main.m_baseEvent["16"], "");
  EXPECT_EQ(main.m_baseEvent["17"], "");
  EXPECT_EQ(main.m_baseEvent["18"], "");
  EXPECT_EQ(main.m_baseEvent["19"], "");
  EXPECT_EQ(main.m_baseEvent["21"], "");

  OfferSources sources;
  const Package offer(Context(), OfferJson(), sources, 2);
  EXPECT_EQ(offer.m_baseEvent["5"], "offer-a");
  EXPECT_EQ(offer.m_baseEvent["10"], 2);
  EXPECT_EQ(offer.m_baseEvent["16"], "ch-9");
  EXPECT_EQ(offer.m_baseEvent["17"], "3");  // two offers were accepted before it
  EXPECT_EQ(offer.m_baseEvent["18"], "flow-a");
  EXPECT_EQ(offer.m_baseEvent.size(), 25u);
}

TEST(BaseRecordTest, RefreshCarriesTheCampaignsFlowAndChannel) {
  Package main(Context(), L"QuillaraWeb", L"", L"Quillara Web", L"");
  {
    std::lock_guard lock(main.m_eventMutex);
    main.m_stopSending = true;
  }
  main.RefreshAnalytics(Context(L"cfl-1", L"ch-2"), L"QuillaraWeb", L"cfl-1", L"Quillara Web", L"ch-2");
  EXPECT_EQ(main.m_baseEvent["19"], "cfl-1");
  EXPECT_EQ(main.m_baseEvent["21"], "ch-2");
  EXPECT_EQ(main.m_baseEvent["10"], 1);
  EXPECT_EQ(main.m_analyticsFlow, "cfl-1");
  EXPECT_TRUE(main.m_stopSending);  // left as it was
}

TEST(EventRecordTest, ParametersOnlyReplaceKeysTheRecordHas) {
  const json base = Context().body;
  const json record = MakeEventRecord(base, 2, json{{"13", "SKIP ALL CLICKED"}, {"99", "y"}});
  EXPECT_EQ(record["6"], "2");
  EXPECT_EQ(record["13"], "SKIP ALL CLICKED");
  EXPECT_FALSE(record.contains("99"));
  EXPECT_EQ(record.size(), base.size());

  EXPECT_EQ(MakeEventRecord(base, -1, nullptr)["6"], "-1");
  EXPECT_EQ(MakeEventRecord(base, 1, json::object()), [&] { json r = base; r["6"] = "1"; return r; }());
}

TEST(EventRecordTest, BodyCarriesTheRecordAsEscapedTextBeforeTheTable) {
  EXPECT_EQ(MakeAnalyticsBody(json{{"6", "4"}, {"10", 2}}), R"({"data":"{\"10\":2,\"6\":\"4\"}","table":"zb_analytics"})");

  // An offer's code 4: 25 keys in text order, "10" a bare number, "6" a string.
  OfferSources sources;
  const Package offer(Context(), OfferJson(), sources, 0);
  const json body = json::parse(MakeAnalyticsBody(MakeEventRecord(offer.m_baseEvent, 4, nullptr)));
  const std::string data = body["data"];
  EXPECT_EQ(data.substr(0, 59), R"({"0":"","1":")" + std::string(testing::kSampleGuid) + R"(","10":2)");
  EXPECT_NE(data.find(R"("5":"offer-a","6":"4","7":"1.0.0.7")"), std::string::npos);
  const char* const textOrder[] = {"0",  "1",  "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "2",
                                   "20", "21", "22", "3",  "31", "38", "4",  "5",  "6",  "7",  "8",  "9"};
  std::size_t previous = 0;
  for (const char* key : textOrder) {
    const std::size_t at = data.find("\"" + std::string(key) + "\":");
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GE(at, previous) << key;
    previous = at;
  }
  EXPECT_EQ(json::parse(data).size(), 25u);
  EXPECT_EQ(body["table"], "zb_analytics");
}

// A system message in an accented language reaches a record in the ANSI code page.
// The event is still sent, its invalid bytes replaced, so the server learns of the
// failure; valid text goes as it is.
TEST(EventRecordTest, TextThatIsNotUtf8IsSentWithReplacementCharacters) {
  const json body = json::parse(MakeAnalyticsBody(json{{"12", "DOWNLOAD FAILED: caf\xe9"}}));
  EXPECT_EQ(json::parse(body["data"].get<std::string>())["12"], "DOWNLOAD FAILED: caf\xEF\xBF\xBD");
  EXPECT_EQ(MakeAnalyticsBody(json{{"12", "caf\xC3\xA9 ok"}}),
            "{\"data\":\"{\\\"12\\\":\\\"caf\xC3\xA9 ok\\\"}\",\"table\":\"zb_analytics\"}");
}

}  // namespace
}  // namespace ostrane
