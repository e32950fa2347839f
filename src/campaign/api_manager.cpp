#include "campaign/api_manager.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "log/setup_log.h"
#include "net/ostrane_exception.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"

namespace ostrane {
namespace {

std::string LanguageTag(const std::wstring& code) {
  std::wstring tag = code.substr(0, 2);
  for (wchar_t& c : tag)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return WideToAnsi(tag);
}

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  });
}

}  // namespace

ConfigRequestFacts ConfigRequestFactsFrom(const ConfigurationManager& settings, std::string campaignCode,
                                          std::string osVersion) {
  return ConfigRequestFacts{settings.m_fileVersion, settings.m_languageCode, settings.m_brand,
                            settings.m_productId,   settings.m_sourceTag,    std::move(campaignCode),
                            std::move(osVersion)};
}

nlohmann::json BuildConfigRequest(const ConfigRequestFacts& facts) {
  nlohmann::json request = nlohmann::json::object();
  request["prv"] = "0.1";
  request["plv"] = WideToAnsi(facts.fileVersion);
  request["l"] = LanguageTag(facts.languageCode);
  request["a"] = WideToAnsi(facts.brand);
  request["i"] = WideToAnsi(facts.productId);
  request["s"] = WideToAnsi(facts.sourceTag);
  request["u"] = facts.campaignCode;
  request["o"] = facts.osVersion;
  return request;
}

std::shared_ptr<ApiManager> ApiManager::Instance() {
  // Never destroyed: a campaign task may still hold it while the process exits.
  static std::once_flag once;
  static std::shared_ptr<ApiManager>* instance = nullptr;
  std::call_once(once, [] { instance = new std::shared_ptr<ApiManager>(new ApiManager(DefaultServerLink())); });
  return *instance;
}

std::unique_ptr<nlohmann::json> ApiManager::RequestConfig(const ConfigurationManager& settings,
                                                          const ConfigRequestFacts& facts) {
  if (settings.m_configUrl.empty()) throw OstraneException();
  const nlohmann::json request = BuildConfigRequest(facts);

  std::string reply;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string body = request.dump();
    reply.clear();
    std::uint32_t status = 0;
    const auto started = std::chrono::steady_clock::now();
    const auto took = [&] {
      return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                                    started).count()) + " ms";
    };
    const std::string name = "attempt " + std::to_string(attempt + 1) + " of " + std::to_string(kAttempts);
    bool answered = false;
    try {
      // A transport failure throws straight out: no further attempt, no pause.
      answered = link_->PostJsonUntilAborted(settings.m_configUrl, body, {}, reply, status, abort_);
    } catch (...) {
      log::LogLine("campaign", name + ": " + (abort_.aborted() ? "abandoned, the user quit" : "no answer") +
                                   " after " + took());
      throw;
    }
    log::LogLine("campaign", name + ": status " + std::to_string(status) + ", " + std::to_string(reply.size()) +
                                 " bytes in " + took());
    if (answered && status >= 200 && status <= 399) break;
    // Every failed attempt pauses, the last one too.
    link_->PauseUntilAborted(kRetryPause, abort_);
  }

  // Whatever the last attempt brought is taken as the campaign, whitespace and all.
  if (IsBlank(reply)) {
    log::LogLine("campaign", "the reply is empty: no campaign");
    throw OstraneException();
  }
  auto document = std::make_unique<nlohmann::json>(nlohmann::json::parse(reply, nullptr, true, false));
  if (document->is_discarded()) throw OstraneException();
  return document;
}

}  // namespace ostrane
