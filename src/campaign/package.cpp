#include "campaign/package.h"

#include "campaign/json_numbers.h"
#include "system/encoding.h"
#include "system/text_convert.h"
#include "settings/clock.h"
#include "settings/configuration_manager.h"

namespace ostrane {
namespace {

using nlohmann::json;

template <typename T>
T OptionalNumber(const json& object, const char* key, T fallback) {
  const auto it = object.find(key);
  return it == object.end() ? fallback : NumberAs<T>(*it);
}

std::string OptionalString(const json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? std::string() : it->get<std::string>();
}

bool OptionalBool(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->get<bool>();
}

std::vector<std::string> OptionalStrings(const json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? std::vector<std::string>() : it->get<std::vector<std::string>>();
}

std::vector<std::wstring> OptionalUtf8Texts(const json& object, const char* key) {
  std::vector<std::wstring> texts;
  for (const std::string& text : OptionalStrings(object, key)) texts.push_back(Utf8ToWide(text));
  return texts;
}

// "fe" and "ife": ANSI texts with folder placeholders such as "{commonpf}".
std::vector<std::wstring> OptionalPaths(const json& object, const char* key, const PathPlaceholders& folders) {
  std::vector<std::wstring> paths;
  for (const std::string& text : OptionalStrings(object, key)) paths.push_back(folders.Expand(AnsiToWide(text)));
  return paths;
}

std::vector<UninstallCheck> OptionalUninstallChecks(const json& object) {
  std::vector<UninstallCheck> checks;
  const auto it = object.find("cmdu");
  if (it == object.end()) return checks;
  for (const json& entry : it->get<std::vector<json>>()) {
    UninstallCheck check;
    check.root = Utf8ToWide(entry.at("utr").get<std::string>());
    check.key = Utf8ToWide(entry.at("utk").get<std::string>());
    check.valueName = Utf8ToWide(entry.at("utvn").get<std::string>());
    check.valueType = Utf8ToWide(entry.at("utvt").get<std::string>());
    check.minDays = NumberAs<int>(entry.at("umd"));
    check.inMilliseconds = OptionalBool(entry, "utms");
    checks.push_back(std::move(check));
  }
  return checks;
}

ShowLimits ReadShowLimits(const json& cfs) {
  if (!cfs.is_object())
    throw json::type_error::create(302, std::string("type must be object, but is ") + cfs.type_name(), &cfs);
  ShowLimits limits;
  limits.maxBefore = OptionalNumber<int>(cfs, "mb", limits.maxBefore);
  limits.allowedBefore = OptionalStrings(cfs, "ab");
  limits.maxAfter = OptionalNumber<int>(cfs, "ma", limits.maxAfter);
  limits.allowedAfter = OptionalStrings(cfs, "aa");
  limits.maxOnly = OptionalNumber<int>(cfs, "mo", limits.maxOnly);
  limits.skipAllAfterDecline = OptionalBool(cfs, "saad");
  limits.skipIfEarlierDeclined = OptionalBool(cfs, "sied");
  return limits;
}

// The "pnrp" value for this Windows version ("10.0"), else its "default".
std::string SelectPnrParam(const json& settings, const std::string& osMajorMinor) {
  const auto pnrp = settings.find("pnrp");
  if (pnrp == settings.end() || !pnrp->is_object()) return {};
  std::string fallback;
  if (const auto it = pnrp->find("default"); it != pnrp->end()) fallback = it->get<std::string>();
  if (const auto it = pnrp->find(osMajorMinor); it != pnrp->end()) return it->get<std::string>();
  return fallback;
}

}  // namespace

TrustRequirements ReadTrustFields(const json& block) {
  TrustRequirements trust;
  if (const auto sha256 = block.find("sha256"); sha256 != block.end()) {
    trust.sha256 = sha256->get<std::string>();
    if (!IsSha256Hex(trust.sha256))
      throw json::type_error::create(302, "\"sha256\" must be 64 hexadecimal digits", &*sha256);
  }
  if (const auto signer = block.find("signer"); signer != block.end()) {
    trust.signer = signer->get<std::string>();
    if (trust.signer.empty()) throw json::type_error::create(302, "\"signer\" must not be empty", &*signer);
  }
  return trust;
}

OfferSources OfferSourcesFrom(ConfigurationManager& settings, std::string brandMd5, std::string osMajorMinor) {
  OfferSources sources;
  sources.machineGuid = settings.GetMachineGuid();
  sources.timestamp = settings.GetTimestamp();
  sources.countryCode = settings.m_campaignL;
  sources.publisherId = settings.m_campaignFA;
  sources.bundleCode = settings.m_campaignCb;
  sources.brand = settings.m_brand;
  sources.productId = settings.m_productId;
  sources.brandMd5 = std::move(brandMd5);
  sources.osMajorMinor = std::move(osMajorMinor);
  sources.pathPlaceholders = settings.GetPathPlaceholders();
  sources.currentTimeMillis = CurrentTimeMillis;
  return sources;
}

bool IsTerminalEvent(int code) {
  return code == kEventFailed || code == kEventPassedOver || code == kEventInstalled || code == kEventDeclined ||
         code == kEventUserQuit;
}

Package::Package(RequestContext context, const json& offer, const OfferSources& sources, int position,
                 const std::string& defaultChannel)
    : m_requestTemplate(std::move(context)), m_position(position) {
  AddCommonPlaceholders(sources);

  const json& ad = offer.at("ad");
  m_analyticsFlow = ad.at("f").get<std::string>();
  m_analyticsId = ad.at("o").get<std::string>();
  AddOfferPlaceholders(sources);

  const json& settings = offer.at("ps");
  m_id = ExpandPlaceholders(settings.at("i").get<std::string>());
  m_displayName = ExpandPlaceholders(settings.at("dn").get<std::string>());
  m_url = ExpandPlaceholders(settings.at("u").get<std::string>());
  if (OptionalBool(settings, "pn")) ReadPnBlock(settings, sources);

  m_argumentsAsWritten = OptionalString(settings, "p");
  m_arguments = m_placeholders.Expand(m_argumentsAsWritten, &m_argumentPlaceholders);
  m_privacyUrl = ExpandPlaceholders(OptionalString(settings, "cp"));
  m_termsUrl = ExpandPlaceholders(OptionalString(settings, "ctu"));
  m_vertical = OptionalNumber<int>(settings, "v", 0);
  m_exclusive = OptionalBool(settings, "exc");
  m_trust = ReadTrustFields(settings);
  const auto channel = settings.find("c");
  m_channel = ExpandPlaceholders(channel == settings.end() ? defaultChannel : channel->get<std::string>());

  ReadConditions(settings, sources);
  BuildBaseRecord();
}

Package::Package(RequestContext context, const std::wstring& id, const std::wstring& flow,
                 const std::wstring& displayName, const std::wstring& channel)
    : m_requestTemplate(std::move(context)),
      m_isMainProduct(true),
      m_displayName(WideToAnsi(displayName)),
      m_analyticsId(WideToAnsi(id)),
      m_analyticsFlow(WideToAnsi(flow)),
      m_channel(WideToAnsi(channel)) {
  BuildBaseRecord();
}

std::optional<std::string> Package::LoggedArguments() const {
  if (m_isMainProduct) return std::nullopt;
  std::string text = m_argumentsAsWritten;
  if (m_argumentPlaceholders.empty()) return text;
  text += " (as the campaign wrote them; placeholders filled:";
  for (std::size_t i = 0; i < m_argumentPlaceholders.size(); ++i) text += (i == 0 ? " " : ", ") + m_argumentPlaceholders[i];
  text += ")";
  return text;
}

void Package::AddCommonPlaceholders(const OfferSources& sources) {
  const auto addIfKnown = [this](const char* name, const std::string& value) {
    if (!value.empty()) m_placeholders.Insert(name, value);
  };
  addIfKnown("userid", sources.machineGuid);
  addIfKnown("sessionid", sources.timestamp);
  addIfKnown("cc", sources.countryCode);
  addIfKnown("pubid", sources.publisherId);
  addIfKnown("ispb", sources.bundleCode);
  m_placeholders.Insert("aflt", CountryAffiliateId(sources.countryCode));
  if (!sources.brand.empty()) m_placeholders.Insert("account_md5", sources.brandMd5);
}

void Package::AddOfferPlaceholders(const OfferSources& sources) {
  std::string pixel;
  try {
    pixel = Base62(sources.machineGuid + "|" + m_analyticsId + "|" + sources.timestamp);
  } catch (const std::exception&) {
    pixel.clear();  // the entry is there all the same
  }
  m_placeholders.Insert("pxl", pixel);
  m_placeholders.Insert("of", m_analyticsFlow);
}

void Package::ReadPnBlock(const json& settings, const OfferSources& sources) {
  m_pn.enabled = true;
  m_pn.apiUrl = OptionalString(settings, "pnau");
  m_pn.apiKey = OptionalString(settings, "pnak");
  m_pn.registryPath = ExpandPlaceholders(OptionalString(settings, "pnr"));
  m_pn.option = OptionalString(settings, "pnop");
  m_pn.silent = OptionalBool(settings, "pnsi");
  m_pn.language = OptionalString(settings, "la");

  // "sp" may use {pnrparam}; the other entries come after it.
  m_placeholders.Insert("pnrparam", SelectPnrParam(settings, sources.osMajorMinor));
  m_pn.stubParameters = ExpandPlaceholders(OptionalString(settings, "sp"));
  m_placeholders.Insert("pnstubparams", m_pn.stubParameters);
  m_placeholders.Insert("pnapiurl", m_pn.apiUrl);
  m_placeholders.Insert("pnapikey", m_pn.apiKey);
  m_placeholders.Insert("pnop", m_pn.option);
  m_placeholders.Insert("account", WideToUtf8(sources.brand));
  m_placeholders.Insert("installer", WideToUtf8(sources.productId));
  m_placeholders.Insert("pnsid", sources.currentTimeMillis ? sources.currentTimeMillis() : CurrentTimeMillis());

  if (const auto cfs = settings.find("cfs"); cfs != settings.end()) m_showLimits = ReadShowLimits(*cfs);
}

void Package::ReadConditions(const json& settings, const OfferSources& sources) {
  m_minDiskMb = OptionalNumber<std::uint64_t>(settings, "disk", 0);
  m_minRamMb = OptionalNumber<std::uint64_t>(settings, "ram", 0);
  m_minCpuMhz = OptionalNumber<std::uint64_t>(settings, "cpu", 0);
  m_minOsVersion = OptionalNumber<int>(settings, "ov", 0);
  m_platformVersion = OptionalString(settings, "pv");
  m_requires64BitOs = OptionalBool(settings, "win64");

  // Presets come after the keys and win over them.
  if (const auto preset = settings.find("x"); preset != settings.end()) {
    switch (NumberAs<int>(*preset)) {
      case 1:
        m_minDiskMb = 2500, m_minRamMb = 250;
        break;
      case 2:
        m_requireChrome = true, m_checkIeVersion = true;
        break;
      case 3:
        m_minDiskMb = 512, m_minRamMb = 1536, m_minCpuMhz = 1500;
        break;
      case 10:
        m_requires64BitOs = true;
        break;
      case 12:
        m_requireChrome = true;
        break;
      case 13:
        m_rejectIfChrome = true;
        break;
      default:
        break;
    }
  }

  m_filesMustBeAbsent = OptionalPaths(settings, "fe", sources.pathPlaceholders);
  m_filesAnyPresent = OptionalPaths(settings, "ife", sources.pathPlaceholders);
  m_blockingProcesses = OptionalStrings(settings, "a");
  m_registryKeysAbsent = OptionalUtf8Texts(settings, "r");
  m_registryKeysAnyPresent = OptionalUtf8Texts(settings, "ir");
  m_registryValuesAbsent = OptionalUtf8Texts(settings, "rvn");
  m_registryValueData = OptionalUtf8Texts(settings, "rvd");
  m_uninstallChecks = OptionalUninstallChecks(settings);
  m_excludedApps = OptionalUtf8Texts(settings, "eapp");
  m_requiredApps = OptionalUtf8Texts(settings, "iapp");
}

}  // namespace ostrane
