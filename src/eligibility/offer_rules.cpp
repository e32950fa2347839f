// The rules about the offer set, in the order Check applies them; the machine tests
// are in machine_checks.cpp.
#include "eligibility/offer_rules.h"

#include <algorithm>

#include "log/setup_log.h"
#include "system/encoding.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"

namespace ostrane {
namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const auto& item : items) joined += (joined.empty() ? "" : ",") + item;
  return joined;
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

}  // namespace

std::size_t VerticalHash::operator()(int vertical) const noexcept {
  std::uint32_t hash = 2166136261u;
  auto value = static_cast<std::uint32_t>(vertical);
  for (int i = 0; i < 4; ++i, value >>= 8) hash = (hash ^ (value & 0xFFu)) * 16777619u;
  return hash;
}

OfferRules::OfferRules(int maxOffers, Machine& machine, ConfigurationManager& settings)
    : m_maxOffers(maxOffers), machine_(machine), settings_(settings), registry_(machine) {}

bool OfferRules::Check(const std::shared_ptr<Package>& offer, bool& stop,
                       const std::vector<std::shared_ptr<Package>>& accepted) {
  Package& package = *offer;
  if (OfferLimitReached(m_acceptedCount, m_maxOffers, settings_.m_offerFlowCount)) {
    stop = true;  // full: nothing more is read, and this offer is not reported
    log::LogLine("rules", package.LogName() + ": not read, the campaign's maximum of offers is reached");
    return false;
  }
  if (const auto reason = ShowLimitsReason(package, accepted)) {
    Reject(package, *reason);
    return false;
  }
  if (m_verticals.count(package.m_vertical) != 0) {
    Reject(package, package.m_vertical == -1 ? "MULTIPLE OFFERS W/O VERTICAL" : "SAME VERTICAL OFFER ALREADY PRESENT");
    return false;
  }
  if (package.m_exclusive && m_acceptedCount > 0) {
    Reject(package, "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT");
    return false;
  }
  if (RejectedByRegistry(package) || RejectedByDiskSpace(package) || RejectedByMemory(package) ||
      RejectedByProcessor(package) || RejectedByOsVersion(package) || RejectedByPlatformVersion(package))
    return false;
  if (package.m_requires64BitOs && !machine_.IsWow64()) {
    Reject(package, "64 BIT OS REQUIRED");
    return false;
  }
  if (!package.m_filesMustBeAbsent.empty() && AnyFileExists(package.m_filesMustBeAbsent)) {
    Reject(package, "FILE EXISTS");
    return false;
  }
  if (!package.m_filesAnyPresent.empty() && !AnyFileExists(package.m_filesAnyPresent)) {
    Reject(package, "NONE OF THE FILES EXISTS");
    return false;
  }
  if (RejectedByRunningApplications(package) || RejectedByInstalledApplications(package) ||
      RejectedByUninstallAge(package) || RejectedByChrome(package) || RejectedByIeVersion(package) ||
      RejectedByPartnerDate(package))
    return false;
  Accept(package);
  return true;
}

std::optional<std::string> OfferRules::ShowLimitsReason(const Package& package,
                                                        const std::vector<std::shared_ptr<Package>>& accepted) {
  const ShowLimits& limits = package.m_showLimits;
  if (m_acceptedCount > limits.maxBefore) {
    return "SHOWED " + std::to_string(m_acceptedCount) + " PRODUCTS BUT ONLY " + std::to_string(limits.maxBefore) +
           " ALLOWED BEFORE";
  }
  if (!limits.allowedBefore.empty() && m_acceptedCount > 0) {
    std::vector<std::string> notAllowed;
    for (const auto& id : m_acceptedIds)
      if (!Contains(limits.allowedBefore, Base62(id))) notAllowed.push_back(id);
    if (!notAllowed.empty()) return "NOT ALLOWED AFTER " + Join(notAllowed);
  }
  // Once a "sied" offer has made room for another, the limits of the others yield.
  if (settings_.m_offerFlowCount != 0) return std::nullopt;

  const auto acceptedCount = static_cast<std::uint32_t>(accepted.size());
  for (const auto& earlier : accepted) {
    const auto maxAfter = static_cast<std::uint32_t>(earlier->m_showLimits.maxAfter);
    if (maxAfter <= acceptedCount - static_cast<std::uint32_t>(earlier->m_position) - 1u) {
      return "ONLY " + std::to_string(earlier->m_showLimits.maxAfter) + " PRODUCTS ALLOWED TO BE SHOWN AFTER " +
             earlier->m_analyticsId;
    }
  }
  const std::string ownId = Base62(package.m_analyticsId);
  std::vector<std::string> refusing;
  for (const auto& earlier : accepted) {
    const auto& allowed = earlier->m_showLimits.allowedAfter;
    if (!allowed.empty() && !Contains(allowed, ownId)) refusing.push_back(earlier->m_analyticsId);
  }
  if (!refusing.empty()) return "NOT ALLOWED AFTER " + Join(refusing);
  return std::nullopt;
}

bool OfferRules::RejectedByPartnerDate(Package& package) {
  if (!package.m_pn.enabled) return false;
  const std::wstring path = Utf8ToWide(package.m_pn.registryPath);
  if (path.find(L'\\') == std::wstring::npos) return false;
  const auto at = path.rfind(L'\\');
  const auto value = registry_.ReadValueAsText(L"hkey_local_machine", path.substr(0, at), path.substr(at + 1));
  if (!value) return false;
  // The partner's date "%Y%m%d": not shown before that day.
  if (Utf8ToWide(machine_.TodayLocal()) < *value) {
    Reject(package, "PN NO SHOW");
    return true;
  }
  return false;
}

void OfferRules::Reject(Package& package, const std::string& reason) {
  log::LogLine("rules", package.LogName() + ": refused, " + reason);
  if (m_acceptedCount < m_maxOffers) package.SendEvent(kEventPassedOver, nlohmann::json{{"13", reason}});
}

void OfferRules::Accept(Package& package) {
  log::LogLine("rules", package.LogName() + ": accepted, vertical " + std::to_string(package.m_vertical));
  ++m_acceptedCount;
  m_verticals.insert(package.m_vertical);
  m_acceptedIds.push_back(package.m_analyticsId);
  // A "sied" offer after the first is shown only while nothing was declined, so it
  // does not count against the maximum.
  if (package.m_showLimits.skipIfEarlierDeclined && m_acceptedCount > 1) ++settings_.m_offerFlowCount;
}

}  // namespace ostrane
