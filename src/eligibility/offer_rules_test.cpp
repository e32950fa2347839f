// The rules about the offer set, run the way the loading task runs them: which offers
// are kept, which are reported with which reason, and when reading stops.
#include "eligibility/offer_rules.h"

#include <gtest/gtest.h>

#include <limits>

#include "system/encoding.h"
#include "testing/offer_rules_fixture.h"

namespace ostrane {
namespace {

using nlohmann::json;
using Ids = std::vector<std::string>;
using Reports = std::vector<std::pair<std::string, std::string>>;

class OfferRulesTest : public testing::OfferRulesFixture {};

json Vertical(int v) { return json{{"v", v}}; }

TEST_F(OfferRulesTest, CampaignsAgainstTheAcceptedList) {
  const json sied = {{"pn", true}, {"cfs", {{"sied", true}}}};
  const struct {
    const char* what;
    std::vector<std::pair<std::string, json>> offers;
    int max;
    Ids accepted;
    Reports reported;
    bool stopped;
  } cases[] = {
      {"maximum 0: the first offer stops, unreported", {{"a", Vertical(1)}, {"b", Vertical(2)}}, 0, {}, {}, true},
      {"verticals 5 and 5", {{"a", Vertical(5)}, {"b", Vertical(5)}}, 5, {"a"},
       {{"b", "SAME VERTICAL OFFER ALREADY PRESENT"}}, false},
      {"verticals -1 and -1", {{"a", Vertical(-1)}, {"b", Vertical(-1)}}, 5, {"a"},
       {{"b", "MULTIPLE OFFERS W/O VERTICAL"}}, false},
      {"no vertical twice", {{"a", json::object()}, {"b", json::object()}}, 5, {"a"},
       {{"b", "SAME VERTICAL OFFER ALREADY PRESENT"}}, false},
      {"exclusive first ends the reading", {{"a", {{"exc", true}, {"v", 1}}}, {"b", Vertical(2)}}, 5, {"a"}, {}, false},
      {"exclusive second", {{"a", Vertical(1)}, {"b", {{"exc", true}, {"v", 2}}}, {"c", Vertical(3)}}, 5, {"a", "c"},
       {{"b", "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT"}}, false},
      {"maximum 2 reached: the third stops, unreported",
       {{"a", Vertical(1)}, {"b", Vertical(2)}, {"c", Vertical(3)}, {"d", Vertical(4)}}, 2, {"a", "b"}, {}, true},
      {"a later sied offer makes room for one more",
       {{"a", Vertical(1)}, {"b", [&] { json j = sied; j["v"] = 2; return j; }()}, {"c", Vertical(3)}, {"d", Vertical(4)}},
       2, {"a", "b", "c"}, {}, true},
      // Once the maximum is reached, a rejection is no longer reported.
      {"after room was made, a rejection is quiet",
       {{"a", Vertical(1)}, {"b", [&] { json j = sied; j["v"] = 2; return j; }()}, {"c", Vertical(1)}, {"d", Vertical(4)},
        {"e", Vertical(5)}},
       2, {"a", "b", "d"}, {}, true},
      // The limit is counted in 64 bits: a campaign's largest "m" plus the room a sied
      // offer makes does not wrap around.
      {"the largest maximum with a sied offer",
       {{"a", Vertical(1)}, {"b", [&] { json j = sied; j["v"] = 2; return j; }()}, {"c", Vertical(3)}},
       std::numeric_limits<int>::max(), {"a", "b", "c"}, {}, false},
      {"a first sied offer makes no room",
       {{"a", [&] { json j = sied; j["v"] = 1; return j; }()}, {"b", Vertical(2)}, {"c", Vertical(3)}}, 2, {"a", "b"}, {},
       true},
  };
  for (const auto& c : cases) {
    settings->m_offerFlowCount = 0;
    const auto outcome = Load(c.offers, c.max);
    EXPECT_EQ(outcome.accepted, c.accepted) << c.what;
    EXPECT_EQ(outcome.reported, c.reported) << c.what;
    EXPECT_EQ(outcome.stopped, c.stopped) << c.what;
  }
}

TEST_F(OfferRulesTest, ShowLimits) {
  const auto limits = [](json cfs, int vertical) { return json{{"pn", true}, {"v", vertical}, {"cfs", std::move(cfs)}}; };
  const struct {
    const char* what;
    std::vector<std::pair<std::string, json>> offers;
    Ids accepted;
    Reports reported;
  } cases[] = {
      {"mb 0 after one", {{"a", Vertical(1)}, {"b", limits({{"mb", 0}}, 2)}}, {"a"},
       {{"b", "SHOWED 1 PRODUCTS BUT ONLY 0 ALLOWED BEFORE"}}},
      {"mb 1 after one", {{"a", Vertical(1)}, {"b", limits({{"mb", 1}}, 2)}}, {"a", "b"}, {}},
      {"ab names who may come before", {{"a", Vertical(1)}, {"b", Vertical(2)}, {"c", limits({{"ab", {Base62("a")}}}, 3)}},
       {"a", "b"}, {{"c", "NOT ALLOWED AFTER b"}}},
      {"ab with nothing before", {{"c", limits({{"ab", {"zz"}}}, 3)}}, {"c"}, {}},
      {"ma 1: one more after it", {{"a", limits({{"ma", 1}}, 1)}, {"b", Vertical(2)}, {"c", Vertical(3)}}, {"a", "b"},
       {{"c", "ONLY 1 PRODUCTS ALLOWED TO BE SHOWN AFTER a"}}},
      {"ma 0: none after it", {{"a", limits({{"ma", 0}}, 1)}, {"b", Vertical(2)}}, {"a"},
       {{"b", "ONLY 0 PRODUCTS ALLOWED TO BE SHOWN AFTER a"}}},
      {"aa names who may follow", {{"a", limits({{"aa", {Base62("c")}}}, 1)}, {"b", Vertical(2)}, {"c", Vertical(3)}},
       {"a", "c"}, {{"b", "NOT ALLOWED AFTER a"}}},
  };
  for (const auto& c : cases) {
    settings->m_offerFlowCount = 0;
    const auto outcome = Load(c.offers, 5);
    EXPECT_EQ(outcome.accepted, c.accepted) << c.what;
    EXPECT_EQ(outcome.reported, c.reported) << c.what;
  }
}

TEST_F(OfferRulesTest, OfferFlowCountLetsLaterOffersPassTheAfterLimits) {
  settings->m_offerFlowCount = 1;
  const auto outcome = Load({{"a", {{"pn", true}, {"v", 1}, {"cfs", {{"ma", 0}}}}}, {"b", Vertical(2)}}, 5);
  EXPECT_EQ(outcome.accepted, (Ids{"a", "b"}));
}

TEST_F(OfferRulesTest, PartnerDateHoldsTheOfferBackUntilThatDay) {
  const json pn = {{"pn", true}, {"pnr", "SOFTWARE\\Partner\\Shown\\NextShow"}};
  const struct {
    const wchar_t* stored;
    std::string reason;
  } cases[] = {{L"20231114", ""}, {L"20231115", "PN NO SHOW"}, {L"20231113", ""}, {nullptr, ""}};
  for (const auto& c : cases) {
    machine = DescribedMachine();  // today is 20231114
    if (c.stored)
      machine.SetValue(RegistryRoot::LocalMachine, RegistryView::Default, L"SOFTWARE\\Partner\\Shown", L"NextShow",
                       {kRegSz, c.stored});
    EXPECT_EQ(RejectionOf(pn), c.reason) << (c.stored ? "stored" : "nothing stored");
  }
  // A path without a backslash is not read at all.
  EXPECT_EQ(RejectionOf({{"pn", true}, {"pnr", "NextShow"}}), "");
}

TEST_F(OfferRulesTest, AcceptRecordsTheOffer) {
  OfferRules rules(3, machine, *settings);
  auto first = Offer("a", {{"v", 7}, {"pn", true}, {"cfs", {{"sied", true}}}});
  auto second = Offer("b", {{"v", 8}, {"pn", true}, {"cfs", {{"sied", true}}}});
  rules.Accept(*first);
  rules.Accept(*second);
  EXPECT_EQ(rules.m_acceptedCount, 2);
  EXPECT_EQ(rules.m_acceptedIds, (Ids{"a", "b"}));
  EXPECT_EQ(rules.m_verticals.count(7) + rules.m_verticals.count(8), 2u);
  EXPECT_EQ(settings->m_offerFlowCount, 1) << "only the second sied offer counts";
}

TEST(VerticalHashTest, Fnv1aOverTheFourBytesLeastSignificantFirst) {
  EXPECT_EQ(VerticalHash()(0), 0x4b95f515u);
  EXPECT_EQ(VerticalHash()(1), 0xfb69b604u);
  EXPECT_NE(VerticalHash()(-1), VerticalHash()(1));
}

}  // namespace
}  // namespace ostrane
