#include "flow/offer_flow.h"

#include <gtest/gtest.h>

#include <climits>

#include "settings/configuration_manager.h"
#include "testing/fake_system_environment.h"
#include "testing/sample_request.h"

namespace ostrane {
namespace {

using nlohmann::json;

struct Answer {
  enum Kind { Accept, Decline, SkipAll } kind;
};

class OfferFlowTest : public ::testing::Test {
 protected:
  std::shared_ptr<Package> Offer(const std::string& id, const json& cfs) {
    json ps = {{"i", id}, {"dn", id}, {"u", "https://p.test/" + id}};
    if (!cfs.empty()) ps.update(json{{"pn", true}, {"cfs", cfs}});
    return std::make_shared<Package>(testing::SampleRequestContext(), json{{"ad", {{"o", id}, {"f", "f"}}}, {"ps", ps}},
                                     OfferSources(), 0);
  }

  // Plays the answers on the pages shown; returns the ids of the pages shown and
  // collects what was passed over.
  std::vector<std::string> Play(const std::vector<std::pair<std::string, json>>& offers,
                                const std::vector<Answer::Kind>& answers) {
    std::vector<std::shared_ptr<Package>> packages;
    for (const auto& [id, cfs] : offers) packages.push_back(Offer(id, cfs));
    flow.SetOffers(packages);
    std::vector<std::string> shown = {packages[0]->m_analyticsId};
    int page = 0;  // index among the offer pages
    for (const Answer::Kind answer : answers) {
      if (answer != Answer::Accept) {
        settings.m_offerDeclined = true;  // what the offer page does before it reports
        flow.OnDecline(answer == Answer::SkipAll);
      }
      const int following = static_cast<int>(packages.size()) - page - 1;
      page += 1 + flow.CountSkippedOffers(following, settings, passed);
      if (page >= static_cast<int>(packages.size())) break;
      shown.push_back(packages[page]->m_analyticsId);
      EXPECT_EQ(flow.CurrentOffer(), packages[page]);
    }
    return shown;
  }

  std::vector<std::tuple<std::string, std::string, bool>> Passed() const {
    std::vector<std::tuple<std::string, std::string, bool>> list;
    for (const auto& p : passed) list.emplace_back(p.package->m_analyticsId, p.reason, p.reported);
    return list;
  }

  testing::FakeSystemEnvironment environment;
  ConfigurationManager settings{environment, BuildOptions{"ISV", true, false, L"c", L"d", L"w", true, ""}};
  OfferFlow flow;
  std::vector<PassedOver> passed;
};

constexpr auto A = Answer::Accept, D = Answer::Decline, S = Answer::SkipAll;

TEST_F(OfferFlowTest, Scenarios) {
  const json none = json::object();
  const struct {
    const char* what;
    std::vector<std::pair<std::string, json>> offers;
    std::vector<Answer::Kind> answers;
    int maxOffers;
    std::vector<std::string> shown;
    std::vector<std::tuple<std::string, std::string, bool>> passed;
  } cases[] = {
      {"all accepted", {{"a", none}, {"b", none}, {"c", none}}, {A, A, A}, 3, {"a", "b", "c"}, {}},
      {"a decline alone changes nothing", {{"a", none}, {"b", none}}, {D, A}, 2, {"a", "b"}, {}},
      {"mo 1 on the first passes over the rest",
       {{"a", {{"mo", 1}}}, {"b", none}, {"c", none}},
       {A},
       2,
       {"a"},
       {{"b", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW", true}, {"c", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW", false}}},
      {"mo 2 on the first lets one more through",
       {{"a", {{"mo", 2}}}, {"b", none}, {"c", none}},
       {A, A},
       3,
       {"a", "b"},
       {{"c", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW", true}}},
      {"saad declined",
       {{"a", {{"saad", true}}}, {"b", none}, {"c", none}},
       {D},
       3,
       {"a"},
       {{"b", "SKIP ALL AFTER DECLINE OFFER DECLINED", true}, {"c", "SKIP ALL AFTER DECLINE OFFER DECLINED", true}}},
      {"saad accepted", {{"a", {{"saad", true}}}, {"b", none}}, {A, A}, 2, {"a", "b"}, {}},
      {"sied after a decline skips that one offer",
       {{"a", none}, {"b", {{"sied", true}}}, {"c", none}},
       {D, A},
       3,
       {"a", "c"},
       {{"b", "SKIPPED BECAUSE OF EARLIER DECLINE", true}}},
      {"sied without a decline is shown", {{"a", none}, {"b", {{"sied", true}}}}, {A, A}, 2, {"a", "b"}, {}},
      {"skip all on the first of three",
       {{"a", none}, {"b", none}, {"c", none}},
       {S},
       3,
       {"a"},
       {{"b", "SKIP ALL CLICKED", true}, {"c", "SKIP ALL CLICKED", true}}},
      {"skip all outranks saad", {{"a", {{"saad", true}}}, {"b", none}}, {S}, 2, {"a"}, {{"b", "SKIP ALL CLICKED", true}}},
  };
  for (const auto& c : cases) {
    flow = OfferFlow();
    passed.clear();
    settings.m_offerDeclined = false;
    settings.m_offerFlowCount = 0;
    settings.m_maxOffers = c.maxOffers;
    EXPECT_EQ(Play(c.offers, c.answers), c.shown) << c.what;
    EXPECT_EQ(Passed(), c.passed) << c.what;
  }
}

TEST_F(OfferFlowTest, ASkippedSiedOfferGivesBackItsRoom) {
  settings.m_maxOffers = 3;
  settings.m_offerFlowCount = 1;  // the rules let the sied offer in beyond the maximum
  Play({{"a", json::object()}, {"b", {{"sied", true}, {"mo", 1}}}, {"c", json::object()}}, {D, A});
  EXPECT_EQ(settings.m_offerFlowCount, 0);
  EXPECT_EQ(flow.offers()[1]->m_showLimits.maxOnly, INT_MAX) << "its own limit no longer ends the flow";
}

TEST_F(OfferFlowTest, NoOfferPageFollowsTheLast) {
  flow.SetOffers({Offer("only", json::object())});
  EXPECT_EQ(flow.CountSkippedOffers(0, settings, passed), 0);
  EXPECT_TRUE(passed.empty());
}

// Skip All shows only where another offer could follow. "mo" comes from the campaign:
// the most negative int used to overflow in "mo - 1" (UBSan stops the test there).
TEST(OfferPageShowsSkipAllTest, NotOnTheLastOfferNorWhereItsLimitEndsTheFlow) {
  const struct {
    int position, acceptedByRules, maxOnly;
    bool shows;
  } cases[] = {
      {0, 3, INT_MAX, true},  {2, 3, INT_MAX, false}, {1, 3, 2, false},       {0, 3, 2, true},
      {0, 1, INT_MAX, false}, {0, 3, INT_MIN, true},  {0, 3, 0, true},        {1, 3, -2147483647, true},
      {0, 3, 1, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OfferPageShowsSkipAll(c.position, c.acceptedByRules, c.maxOnly), c.shows)
        << c.position << " " << c.acceptedByRules << " " << c.maxOnly;
}

}  // namespace
}  // namespace ostrane
