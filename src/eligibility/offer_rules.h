// Whether to keep an offer: rules about the offer set (how many, which verticals,
// exclusivity, show limits, a partner date) and tests of the user's machine, in a
// fixed order; the first failing rule decides and is reported with its reason.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "eligibility/machine.h"
#include "campaign/package.h"
#include "eligibility/registry_access.h"

namespace ostrane {

class ConfigurationManager;

// 32-bit FNV-1a over the value's four bytes, least significant first.
struct VerticalHash {
  std::size_t operator()(int vertical) const noexcept;
};

// The most offers a load keeps: the campaign's maximum, plus one for each "sied"
// offer after the first, which does not count against it. In 64 bits: "m" comes
// from the campaign, and INT_MAX plus one overflows an int.
inline std::int64_t OfferLimit(int maxOffers, int offerFlowCount) {
  return std::int64_t{maxOffers} + std::int64_t{offerFlowCount};
}
inline bool OfferLimitReached(int accepted, int maxOffers, int offerFlowCount) {
  return accepted >= OfferLimit(maxOffers, offerFlowCount);
}

class OfferRules {
 public:
  // One object per campaign load; the settings give the installer's version, the
  // folder placeholders and the offer-flow count, which the rules also update.
  OfferRules(int maxOffers, Machine& machine, ConfigurationManager& settings);

  // Accepts or rejects one offer; stop is set when no further offer is to be read.
  // Exceptions of a rule (a registry read that failed, a number that cannot be
  // parsed, an unknown root name) end the load.
  bool Check(const std::shared_ptr<Package>& package, bool& stop, const std::vector<std::shared_ptr<Package>>& accepted);

  // Reports a rejection (event 2) while fewer offers than the maximum are accepted.
  void Reject(Package& package, const std::string& reason);
  void Accept(Package& package);

  // The machine checks; each answers true for reject, after reporting it.
  bool RejectedByRegistry(Package& package);
  bool RejectedByDiskSpace(Package& package);
  bool RejectedByMemory(Package& package);
  bool RejectedByProcessor(Package& package);
  bool RejectedByOsVersion(Package& package);
  bool RejectedByPlatformVersion(Package& package);
  bool RejectedByRunningApplications(Package& package);
  bool RejectedByInstalledApplications(Package& package);
  bool RejectedByUninstallAge(Package& package);
  bool RejectedByChrome(Package& package);
  bool RejectedByIeVersion(Package& package);

  // One of the paths exists; paths with a 64-bit folder placeholder are not tested
  // on 32-bit Windows.
  bool AnyFileExists(const std::vector<std::wstring>& paths);

  std::unordered_set<int, VerticalHash> m_verticals;
  std::vector<std::string> m_acceptedIds;
  int m_acceptedCount = 0;
  int m_maxOffers = 0;
  std::vector<std::wstring> m_processNames;

 private:
  // Show limits; the reason of the first limit that rejects, if any.
  std::optional<std::string> ShowLimitsReason(const Package& package, const std::vector<std::shared_ptr<Package>>& accepted);
  bool RejectedByPartnerDate(Package& package);
  bool IsInstalled(const std::wstring& application);

  Machine& machine_;                // we don't own it
  ConfigurationManager& settings_;  // we don't own it
  RegistryAccess registry_;
  std::optional<std::uint64_t> freeDiskMb_;
  std::optional<std::uint64_t> memoryMb_;
  std::optional<std::uint32_t> processorMhz_;
  bool processesRead_ = false;
  // App Paths entry name -> where it is registered, in index order.
  struct AppLocation {
    RegistryRoot root;
    RegistryView view;
    std::optional<std::wstring> path;  // the default value, read once
  };
  std::optional<std::map<std::wstring, std::vector<AppLocation>>> applications_;
};

// Compares dotted versions number by number, a missing number counting as 0:
// negative, zero or positive as a is below, equal to or above b.
int CompareVersions(const std::string& a, const std::string& b);

// Whether a running process's executable name matches a blocking entry: "qlweb"
// and "qlweb.exe" both match "qlweb.exe". Both lower-cased.
bool ProcessNameMatches(std::wstring processName, const std::wstring& entry);

}  // namespace ostrane
