#include "eligibility/campaign_loader.h"

#include <gtest/gtest.h>

#include "testing/offer_rules_fixture.h"

namespace ostrane {
namespace {

using nlohmann::json;

class CampaignLoaderTest : public testing::OfferRulesFixture {
 protected:
  CampaignLoad Load(const json& reply) {
    OfferFactory factory;
    factory.makeContext = [this] {
      ++built;
      return testing::SampleRequestContext();
    };
    factory.makeSources = [this] {
      OfferSources sources;
      sources.countryCode = settings->m_campaignL;  // read from the reply before the offers
      return sources;
    };
    factory.prepare = [this](Package& package) { package.SetServerLink(link); };
    return LoadCampaign(reply, *settings, machine, factory);
  }

  static json Offer(const std::string& id, json extra = json::object()) {
    json ps = {{"i", id}, {"dn", id}, {"u", "https://p.test/{cc}/" + id}};
    ps.update(extra);
    return json{{"ad", {{"o", id}, {"f", "flow"}}}, {"ps", ps}};
  }

  static std::vector<std::string> Ids(const CampaignLoad& load) {
    std::vector<std::string> ids;
    for (const auto& package : load.packages) ids.push_back(package->m_analyticsId);
    return ids;
  }

  int built = 0;
};

TEST_F(CampaignLoaderTest, CampaignValuesAndAcceptedOffersInOrder) {
  const json reply = {{"l", "US"},
                      {"f", {{"a", "pub-1"}, {"m", 3}}},
                      {"o", {Offer("a", {{"v", 1}}), Offer("b", {{"v", 1}}), Offer("c", {{"v", 2}})}},
                      {"ignored", true}};
  const CampaignLoad load = Load(reply);
  EXPECT_FALSE(load.configurationError);
  EXPECT_EQ(Ids(load), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(settings->m_campaignL, "US");
  EXPECT_EQ(settings->m_campaignFA, "pub-1");
  EXPECT_EQ(settings->m_maxOffers, 3);
  EXPECT_EQ(settings->m_acceptedByRules, 2);
  // Positions count the offers accepted before: "c" follows one accepted offer.
  EXPECT_EQ(load.packages[1]->m_position, 1);
  EXPECT_EQ(load.packages[1]->m_baseEvent["17"], "2");
  EXPECT_EQ(load.packages[0]->m_url, "https://p.test/US/a");
}

TEST_F(CampaignLoaderTest, WhenOffersAreNotRead) {
  const struct {
    const char* what;
    json reply;
  } cases[] = {
      {"no o: no f needed", {{"l", "DE"}}},
      {"not an object", json::array()},
      {"empty object", json::object()},
  };
  for (const auto& c : cases) {
    const CampaignLoad load = Load(c.reply);
    EXPECT_TRUE(load.packages.empty()) << c.what;
    EXPECT_EQ(built, 0) << c.what;
  }
}

TEST_F(CampaignLoaderTest, AnExclusiveOfferEndsTheReading) {
  const json reply = {{"f", {{"m", 5}}},
                      {"o", {Offer("a", {{"exc", true}}), Offer("b", {{"v", 2}}), Offer("c", {{"v", 3}})}}};
  EXPECT_EQ(Ids(Load(reply)), std::vector<std::string>{"a"});
  EXPECT_EQ(built, 1) << "offers after it are not even built";
}

TEST_F(CampaignLoaderTest, OneBadOfferFailsTheWholeLoad) {
  json noName = Offer("b");
  noName["ps"].erase("dn");
  const struct {
    const char* what;
    json reply;
    bool outOfRange;  // else a type error
  } cases[] = {
      {"o without f", {{"o", {Offer("a")}}}, true},
      {"f without m", {{"f", {{"a", "x"}}}, {"o", {Offer("a")}}}, true},
      {"an offer without dn", {{"f", {{"m", 3}}}, {"o", {Offer("a"), noName}}}, true},
      {"m a string", {{"f", {{"m", "3"}}}, {"o", {Offer("a")}}}, false},
      {"o an object", {{"f", {{"m", 3}}}, {"o", {{"x", Offer("a")}}}}, false},
      {"l a number", {{"l", 7}}, false},
  };
  for (const auto& c : cases) {
    if (c.outOfRange) {
      EXPECT_THROW(Load(c.reply), json::out_of_range) << c.what;
    } else {
      EXPECT_THROW(Load(c.reply), json::type_error) << c.what;
    }
  }
}

TEST_F(CampaignLoaderTest, DlmReadsItsProductFromTheReply) {
  settings->m_wizardType = kWizardDlm;
  const json block = {{"ct", "Tool"}, {"cu", "https://d.test/tool.exe"}, {"cl", "https://d.test/logo.png"},
                      {"cp", "https://d.test/p"}, {"ctu", "https://d.test/t"}, {"ch", "ch-1"},
                      {"cfl", "flow-1"}, {"cb", "bundle"}};
  const CampaignLoad load = Load({{"i", block}, {"f", {{"m", 2}}}, {"o", {Offer("a")}}});
  EXPECT_FALSE(load.configurationError);
  EXPECT_EQ(settings->m_productName, L"Tool");
  EXPECT_EQ(settings->m_downloadUrl, L"https://d.test/tool.exe");
  EXPECT_EQ(settings->m_logoUrl, L"https://d.test/logo.png");
  EXPECT_EQ(settings->m_installerFileName, L"Tool.exe");
  EXPECT_EQ(settings->m_privacyUrl, L"https://d.test/p");
  EXPECT_EQ(settings->m_termsUrl, L"https://d.test/t");
  EXPECT_EQ(settings->m_campaignCh, L"ch-1");
  EXPECT_EQ(settings->m_campaignCfl, L"flow-1");
  EXPECT_EQ(settings->m_campaignCb, "bundle");
  EXPECT_EQ(load.packages.size(), 1u);
  EXPECT_TRUE(settings->m_mainSha256.empty());

  json checked = block;
  checked["sha256"] = std::string(64, 'a');
  checked["signer"] = "Tool Maker";
  Load({{"i", checked}});
  EXPECT_EQ(settings->m_mainSha256, std::string(64, 'a'));
  EXPECT_EQ(settings->m_mainSigner, "Tool Maker");
  checked["sha256"] = "aa";
  EXPECT_THROW(Load({{"i", checked}}), json::type_error) << "a product block's bad digest fails the load";

  // The channel "00xA" takes the offers out of the campaign.
  json quiet = block;
  quiet["ch"] = "00xA";
  quiet["cf"] = "setup.exe";
  EXPECT_TRUE(Load({{"i", quiet}, {"o", {Offer("a")}}}).packages.empty());
  EXPECT_EQ(settings->m_installerFileName, L"setup.exe");

  json untitled = block;
  untitled["ct"] = "";
  EXPECT_TRUE(Load({{"i", untitled}, {"f", {{"m", 2}}}, {"o", {Offer("a")}}}).configurationError);
  EXPECT_THROW(Load({{"f", {{"m", 2}}}}), json::out_of_range) << "DLM needs its product block";
  json noUrl = block;
  noUrl.erase("cu");
  EXPECT_THROW(Load({{"i", noUrl}}), json::out_of_range);
}

}  // namespace
}  // namespace ostrane
