// The configuration request: one signed-less JSON POST to the campaign server that
// says which installer is asking, answered by the campaign document.
#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

#include "net/server_link.h"

namespace ostrane {

class ConfigurationManager;

// What the request tells the server. Wide values come from the settings.
struct ConfigRequestFacts {
  std::wstring fileVersion;   // "plv"
  std::wstring languageCode;  // "l" is its first two characters, lower-cased
  std::wstring brand;         // "a"
  std::wstring productId;     // "i"
  std::wstring sourceTag;     // "s"
  std::string campaignCode;   // "u": the code in the installer's file name, or empty
  std::string osVersion;      // "o": "major.minor.build", or empty
};

ConfigRequestFacts ConfigRequestFactsFrom(const ConfigurationManager& settings, std::string campaignCode,
                                          std::string osVersion);

// The eight-member request object; serialised, its keys come in byte order.
nlohmann::json BuildConfigRequest(const ConfigRequestFacts& facts);

class ApiManager {
 public:
  static constexpr int kAttempts = 3;
  static constexpr std::chrono::milliseconds kRetryPause{5000};

  // The process's instance, created by the first call; it lives until the process ends.
  static std::shared_ptr<ApiManager> Instance();

  explicit ApiManager(std::shared_ptr<ServerLink> link) : link_(std::move(link)) {}

  // The campaign document for this run (Windows: the facts come from the system).
  // Blocking; worker threads only. Throws OstraneException (no URL, transport
  // failure, empty reply, aborted) and the JSON library's parse error.
  std::unique_ptr<nlohmann::json> RequestConfig();

  // The same for given facts; the URL is read from the settings before each attempt.
  std::unique_ptr<nlohmann::json> RequestConfig(const ConfigurationManager& settings, const ConfigRequestFacts& facts);

  // From any thread: the request in flight ends now, and any later one at once. The
  // user has quit; nothing is to be asked of the server any more.
  void Abort() { abort_.Abort(); }

 private:
  std::shared_ptr<ServerLink> link_;
  AbortSignal abort_;
};

}  // namespace ostrane
