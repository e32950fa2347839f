#include "net/request_context.h"

#include "settings/configuration_manager.h"
#include "system/digest.h"
#include "system/text_convert.h"

namespace ostrane {

RequestFacts RequestFactsFrom(ConfigurationManager& config, std::string osVersion, bool wow64) {
  RequestFacts facts;
  facts.machineGuid = config.GetMachineGuid();
  facts.timestamp = config.GetTimestamp();
  facts.brand = config.m_brand;
  facts.productId = config.m_productId;
  facts.fileVersion = config.m_fileVersion;
  facts.campaignCfl = config.m_campaignCfl;
  facts.campaignCh = config.m_campaignCh;
  facts.productName = config.m_productName;
  facts.osVersion = std::move(osVersion);
  facts.wow64 = wow64;
  return facts;
}

RequestContext BuildRequestContext(const RequestFacts& facts) {
  RequestContext context;
  const std::string signature = Sha256Hex(facts.machineGuid + facts.timestamp);
  context.headers.emplace_back(L"Authorization", L"Signature=" + Utf8ToWide(signature));

  context.body = nlohmann::json::object();
  for (int key = 0; key <= 22; ++key) context.body[std::to_string(key)] = "";
  context.body["1"] = facts.machineGuid;
  context.body["2"] = facts.timestamp;
  context.body["3"] = WideToAnsi(facts.brand);
  context.body["4"] = WideToAnsi(facts.productId);
  context.body["7"] = WideToAnsi(facts.fileVersion);
  context.body["15"] = 0;
  context.body["19"] = WideToAnsi(facts.campaignCfl);
  context.body["21"] = WideToAnsi(facts.campaignCh);
  context.body["22"] = WideToAnsi(facts.productName);
  context.body["31"] = facts.osVersion;
  context.body["38"] = facts.wow64 ? "1" : "0";
  return context;
}

}  // namespace ostrane
