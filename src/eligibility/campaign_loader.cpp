#include "eligibility/campaign_loader.h"

#include "campaign/json_numbers.h"
#include "eligibility/offer_rules.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"
#include "settings/wizard_type.h"

namespace ostrane {
namespace {

using nlohmann::json;

std::wstring OptionalAnsi(const json& block, const char* key) {
  const auto it = block.find(key);
  return it == block.end() ? std::wstring() : AnsiToWide(it->get<std::string>());
}

// The main product of a DLM campaign. False when it lacks a title or a download URL.
bool ReadMainProduct(const json& reply, ConfigurationManager& settings) {
  const json& block = reply.at("i");
  settings.m_productName = AnsiToWide(block.at("ct").get<std::string>());
  settings.m_downloadUrl = AnsiToWide(block.at("cu").get<std::string>());
  settings.m_logoUrl = OptionalAnsi(block, "cl");
  settings.m_installerFileName =
      block.contains("cf") ? OptionalAnsi(block, "cf") : settings.m_productName + L".exe";
  settings.m_privacyUrl = OptionalAnsi(block, "cp");
  settings.m_termsUrl = OptionalAnsi(block, "ctu");
  settings.m_campaignCh = OptionalAnsi(block, "ch");
  settings.m_campaignCfl = OptionalAnsi(block, "cfl");
  if (const auto cb = block.find("cb"); cb != block.end()) settings.m_campaignCb = cb->get<std::string>();
  const TrustRequirements trust = ReadTrustFields(block);
  settings.m_mainSha256 = trust.sha256;
  settings.m_mainSigner = trust.signer;
  return !settings.m_productName.empty() && !settings.m_downloadUrl.empty();
}

}  // namespace

CampaignLoad LoadCampaign(const json& reply, ConfigurationManager& settings, Machine& machine,
                          const OfferFactory& factory) {
  CampaignLoad load;
  const bool object = reply.is_object();
  if (object && reply.contains("l")) settings.m_campaignL = reply["l"].get<std::string>();

  if (settings.m_wizardType == kWizardDlm && !ReadMainProduct(reply, settings)) {
    load.configurationError = true;
    return load;
  }
  if (object) {
    const auto f = reply.find("f");
    if (f != reply.end() && f->is_object() && f->contains("a")) settings.m_campaignFA = (*f)["a"].get<std::string>();
  }
  if (!object || !reply.contains("o") || settings.m_campaignCh == L"00xA") return load;

  settings.m_maxOffers = NumberAs<int>(reply.at("f").at("m"));
  OfferRules rules(settings.m_maxOffers, machine, settings);
  const json& offers = reply["o"];
  if (!offers.is_array())
    throw json::type_error::create(302, std::string("type must be array, but is ") + offers.type_name(), &offers);
  for (const json& offer : offers) {
    auto package = std::make_shared<Package>(factory.makeContext(), offer, factory.makeSources(),
                                             static_cast<int>(load.packages.size()));
    if (factory.prepare) factory.prepare(*package);
    bool stop = false;
    if (rules.Check(package, stop, load.packages)) {
      load.packages.push_back(package);
      ++settings.m_acceptedByRules;
      if (package->m_exclusive) break;  // an exclusive offer is shown alone
    }
    if (stop) break;
  }
  return load;
}

}  // namespace ostrane
