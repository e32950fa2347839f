// What the loading task makes of the campaign reply: the campaign's values in the
// settings, and the offers that pass the rules, in the server's order.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <vector>

#include "eligibility/machine.h"
#include "campaign/package.h"

namespace ostrane {

class ConfigurationManager;

struct CampaignLoad {
  std::vector<std::shared_ptr<Package>> packages;
  // DLM: the reply's product block lacks a title or a download URL.
  bool configurationError = false;
};

// Where each offer's context and placeholder sources come from, and what is done to
// each package before the rules see it (tests and tools give it their own link).
struct OfferFactory {
  std::function<RequestContext()> makeContext;
  std::function<OfferSources()> makeSources;
  std::function<void(Package&)> prepare;
};

// Reads "l", the DLM product block "i", "f"."a" and, unless the channel is "00xA",
// the offers of "o" with the maximum "f"."m", each through the offer rules against
// the machine. Throws what the JSON library, the rules and the registry throw: any
// such failure fails the whole load.
CampaignLoad LoadCampaign(const nlohmann::json& reply, ConfigurationManager& settings, Machine& machine,
                          const OfferFactory& factory);

}  // namespace ostrane
