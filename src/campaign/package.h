// One product or partner offer: what the campaign says about it, the conditions the
// eligibility rules test, its picture, its placeholder values and its analytics.
// Shared by the loading task, the wizard, the download pages and analytics senders.
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "campaign/placeholder_table.h"
#include "download/package_trust.h"
#include "net/request_context.h"
#include "net/server_link.h"
#include "settings/path_placeholders.h"

namespace Gdiplus {
class Bitmap;
}

namespace ostrane {

class ConfigurationManager;

// An uninstall-age check ("cmdu").
struct UninstallCheck {
  std::wstring root;
  std::wstring key;
  std::wstring valueName;
  std::wstring valueType;
  int minDays = 0;
  bool inMilliseconds = false;
};

// How many and which other offers may be shown around this one ("cfs").
struct ShowLimits {
  int maxBefore = INT_MAX;
  std::vector<std::string> allowedBefore;  // Base62 of other offers' analytics ids
  int maxAfter = INT_MAX;
  std::vector<std::string> allowedAfter;
  int maxOnly = INT_MAX;
  bool skipAllAfterDecline = false;
  bool skipIfEarlierDeclined = false;
};

// The partner-network block, read when "pn" is true.
struct PnBlock {
  bool enabled = false;
  std::string apiUrl;
  std::string apiKey;
  std::string registryPath;
  std::string option;
  bool silent = false;
  std::string stubParameters;
  std::string language;
};

// Everything an offer's texts can draw on besides the offer itself.
struct OfferSources {
  std::string machineGuid;
  std::string timestamp;     // the run's "%Y%m%d%H%M%S"
  std::string countryCode;   // the reply's "l"
  std::string publisherId;   // the reply's "f"."a"
  std::string bundleCode;    // the main block's "cb"
  std::wstring brand;
  std::wstring productId;
  std::string brandMd5;      // MD5 of the brand word in the ANSI code page
  std::string osMajorMinor;  // "10.0"; empty when the version cannot be read
  PathPlaceholders pathPlaceholders;
  std::function<std::string()> currentTimeMillis;
};

// The settings' part; the machine's part is passed in.
OfferSources OfferSourcesFrom(ConfigurationManager& settings, std::string brandMd5, std::string osMajorMinor);

// The offer constructor's source for this run (Windows: the system's facts).
OfferSources MakeOfferSources();

// Analytics event codes.
enum EventCode : int {
  kEventFailed = -1,
  kEventStarted = 1,
  kEventPassedOver = 2,
  kEventInstalled = 3,
  kEventDeclined = 4,
  kEventUserQuit = 5,
};

// Delivery of a terminal event ends a package's analytics.
bool IsTerminalEvent(int code);

// Blocks until no send of any package is in flight, or until the deadline: the wizard
// ends after the last page with nothing left to say, but what it said must arrive.
// False when sends were still in flight at the deadline.
bool WaitForEverySend(std::chrono::steady_clock::time_point deadline);

// A block's optional "sha256" and "signer" (an offer's "ps", the DLM product's "i").
// Throws the JSON library's type error for a "sha256" that is not 64 hexadecimal
// digits or a "signer" that is not a non-empty string.
TrustRequirements ReadTrustFields(const nlohmann::json& block);

class Package : public std::enable_shared_from_this<Package> {
 public:
  // An offer from one element of the reply's "o". Throws the JSON library's
  // out-of-range error for a missing required key and its type error for a value
  // of the wrong type; texts are read and expanded in an order that decides which
  // placeholders each can use.
  Package(RequestContext context, const nlohmann::json& offer, const OfferSources& sources, int position,
          const std::string& defaultChannel = {});
  // The main product: identifier, flow tag, display name and channel.
  Package(RequestContext context, const std::wstring& id, const std::wstring& flow, const std::wstring& displayName,
          const std::wstring& channel);

  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  std::string ExpandPlaceholders(const std::string& text) const { return m_placeholders.Expand(text); }
  // How the setup log names the package: "the product", or "offer" and its id. The
  // wizard may refresh the product's names meanwhile: senders read this under
  // m_eventMutex.
  std::string LogName() const { return m_isMainProduct ? "the product" : "offer " + m_analyticsId; }
  // An offer's arguments as the setup log shows them: as the campaign wrote them, with
  // the names of the placeholders filled in but never their values (the machine's
  // GUID, the run's timestamp), since people attach the log to support tickets.
  // None for the main product, whose arguments are the build's and hold no placeholder.
  std::optional<std::string> LoggedArguments() const;

  // Fetches the offer picture from the file base URL in the background and calls
  // done once on the fetching thread, with the picture or null; the package lives
  // until then. m_image is the user-interface thread's to set. Windows only.
  void DownloadImage(std::function<void(std::shared_ptr<Gdiplus::Bitmap>)> done);
  // Holds the partner's offers back 180 days: local yyyymmdd, a DWORD at HKLM m_pn.registryPath. Windows only.
  bool WriteRegistryDateMarker();
  bool WriteRegistryDateMarker(std::time_t now);

  // Analytics.
  void BuildBaseRecord();
  void RefreshAnalytics(RequestContext context, const std::wstring& id, const std::wstring& flow,
                        const std::wstring& displayName, const std::wstring& channel);
  // Starts a detached sender and returns at once; nothing once a terminal event of
  // this package has been delivered.
  void SendEvent(int code, const nlohmann::json& parameters = nullptr);
  // Blocks until no send of this package is in flight, or until the deadline.
  void WaitForSends(std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());
  // The link events go through; tests give their own.
  void SetServerLink(std::shared_ptr<ServerLink> link) { m_link = std::move(link); }
  // How a sender thread is started (StartDetachedThread); tests make it fail.
  using ThreadStarter = std::function<void(std::function<void()>)>;
  void SetThreadStarter(ThreadStarter starter) { m_startThread = std::move(starter); }

  std::mutex m_eventMutex;
  std::condition_variable m_eventsIdle;
  int m_pendingEvents = 0;
  RequestContext m_requestTemplate;
  bool m_isMainProduct = false;
  int m_unused = 0;
  std::string m_displayName;
  std::string m_analyticsId;
  std::string m_analyticsFlow;
  std::string m_channel;
  std::string m_id;
  std::string m_url;
  std::string m_arguments;
  std::string m_argumentsAsWritten;                // "p" before expansion
  std::vector<std::string> m_argumentPlaceholders;  // the names expanded in it
  std::string m_privacyUrl;
  std::string m_termsUrl;
  std::atomic<int> m_vertical{0};
  std::uint64_t m_minDiskMb = 0;
  std::uint64_t m_minRamMb = 0;
  std::uint64_t m_minCpuMhz = 0;
  int m_minOsVersion = 0;
  std::string m_platformVersion;
  bool m_requires64BitOs = false;
  int m_position = 0;
  bool m_stopSending = false;
  nlohmann::json m_baseEvent;
  std::shared_ptr<Gdiplus::Bitmap> m_image;  // user-interface thread only
  PlaceholderTable m_placeholders;
  std::vector<std::wstring> m_filesMustBeAbsent;
  std::vector<std::wstring> m_filesAnyPresent;
  std::vector<std::string> m_blockingProcesses;
  std::vector<std::wstring> m_registryKeysAbsent;
  std::vector<std::wstring> m_registryKeysAnyPresent;
  std::vector<std::wstring> m_registryValuesAbsent;
  std::vector<std::wstring> m_registryValueData;
  std::vector<std::wstring> m_excludedApps;
  std::vector<std::wstring> m_requiredApps;
  bool m_exclusive = false;
  bool m_requireChrome = false;
  bool m_rejectIfChrome = false;
  bool m_checkIeVersion = false;
  std::vector<UninstallCheck> m_uninstallChecks;
  PnBlock m_pn;
  ShowLimits m_showLimits;
  TrustRequirements m_trust;  // the campaign's "sha256" and "signer"

 private:
  void AddCommonPlaceholders(const OfferSources& sources);
  void AddOfferPlaceholders(const OfferSources& sources);
  void ReadPnBlock(const nlohmann::json& settings, const OfferSources& sources);
  void ReadConditions(const nlohmann::json& settings, const OfferSources& sources);
  static void SendEventThread(std::shared_ptr<Package> package, int code, nlohmann::json parameters,
                              nlohmann::json record, std::wstring url, HeaderList headers,
                              std::shared_ptr<ServerLink> link, std::string logName);

  std::shared_ptr<ServerLink> m_link = DefaultServerLink();
  ThreadStarter m_startThread;  // empty: StartDetachedThread
};

}  // namespace ostrane
