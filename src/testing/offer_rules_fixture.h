// Runs campaign offers through the offer rules, as the loading task does, against a
// described machine (or, in Windows tests, the real one), and collects what was
// accepted and what was reported.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "eligibility/described_machine.h"
#include "eligibility/offer_rules.h"
#include "settings/configuration_manager.h"
#include "testing/fake_server_link.h"
#include "testing/fake_system_environment.h"
#include "testing/sample_request.h"

namespace ostrane::testing {

class OfferRulesFixture : public ::testing::Test {
 protected:
  OfferRulesFixture() {
    environment.UseTypicalFolders();
    settings = std::make_unique<ConfigurationManager>(environment, BuildOptions{"ISV", true, false, L"c", L"d", L"w", true, ""});
    settings->m_fileVersion = L"2.1.0.5";
  }

  // An offer with analytics id `id` and these package settings.
  std::shared_ptr<Package> Offer(const std::string& id, nlohmann::json settingsJson = nlohmann::json::object(),
                                 int position = 0) {
    nlohmann::json ps = {{"i", id + ".png"}, {"dn", id}, {"u", "https://p.test/" + id + ".exe"}};
    ps.update(settingsJson);
    OfferSources sources;
    sources.pathPlaceholders = settings->GetPathPlaceholders();
    auto package = std::make_shared<Package>(SampleRequestContext(), nlohmann::json{{"ad", {{"o", id}, {"f", "f"}}}, {"ps", ps}},
                                             sources, position);
    package->SetServerLink(link);
    return package;
  }

  struct Outcome {
    std::vector<std::string> accepted;                          // analytics ids
    std::vector<std::pair<std::string, std::string>> reported;  // (id, reason), in offer order
    bool stopped = false;
    std::size_t read = 0;  // offers that reached the rules
  };

  // The loading task's loop over the reply's offers.
  Outcome Load(const std::vector<std::pair<std::string, nlohmann::json>>& offers, int maxOffers) {
    OfferRules rules(maxOffers, *machineUnderTest, *settings);
    const std::size_t earlierPosts = link->posts().size();
    Outcome outcome;
    std::vector<std::shared_ptr<Package>> accepted;
    std::vector<std::shared_ptr<Package>> built;
    for (const auto& [id, json] : offers) {
      auto package = Offer(id, json, static_cast<int>(accepted.size()));
      built.push_back(package);
      bool stop = false;
      ++outcome.read;
      if (rules.Check(package, stop, accepted)) {
        accepted.push_back(package);
        outcome.accepted.push_back(id);
        if (package->m_exclusive) break;
      }
      if (stop) {
        outcome.stopped = true;
        break;
      }
    }
    for (const auto& package : built) package->WaitForSends();
    const auto posts = link->posts();
    for (const auto& package : built) {
      for (std::size_t i = earlierPosts; i < posts.size(); ++i) {
        const auto body = nlohmann::json::parse(posts[i].body);
        const auto record = nlohmann::json::parse(body["data"].get<std::string>());
        if (record["5"] == package->m_analyticsId && record["6"] == "2")
          outcome.reported.emplace_back(package->m_analyticsId, record["13"]);
      }
    }
    return outcome;
  }

  // The reason one offer is rejected with on its own, or "" when it is accepted.
  std::string RejectionOf(const nlohmann::json& settingsJson) {
    const Outcome outcome = Load({{"solo", settingsJson}}, 5);
    if (!outcome.accepted.empty()) return "";
    return outcome.reported.empty() ? "(not reported)" : outcome.reported.front().second;
  }

  DescribedMachine machine;
  Machine* machineUnderTest = &machine;  // the Windows tests put the real one here
  FakeSystemEnvironment environment;
  std::unique_ptr<ConfigurationManager> settings;
  std::shared_ptr<FakeServerLink> link = std::make_shared<FakeServerLink>();
};

}  // namespace ostrane::testing
