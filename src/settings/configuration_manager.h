// The installer's one settings and state object: compiled-in constants, campaign
// values, the user's choices, the package lists and a few lazily read machine facts.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/path_placeholders.h"
#include "settings/system_environment.h"
#include "settings/wizard_type.h"

namespace Gdiplus {
class Bitmap;
}

namespace ostrane {

class Package;

// What a build compiles in (see build_options.cpp).
struct BuildOptions {
  std::string wizardTypeName;
  bool qlFlavour = true;
  bool classicMode = false;
  std::wstring campaignHost;
  std::wstring downloadHost;
  std::wstring websiteHost;
  // The signature check of every package before it runs; off only in builds whose
  // packages cannot be signed (see README).
  bool requireSigned = true;
  // UTF-8: the common name that must have signed the ISV main product; empty: any.
  std::string mainSigner;
};

// Defined once per program (build_options.cpp), so that test variants of the
// installer can differ in nothing else.
BuildOptions CompiledBuildOptions();

using PackageList = std::vector<std::shared_ptr<Package>>;

class ConfigurationManager {
 public:
  // The process-wide instance, built on first use for the compiled-in options.
  static std::shared_ptr<ConfigurationManager> Instance();

  ConfigurationManager(SystemEnvironment& environment, const BuildOptions& options);
  ConfigurationManager(const ConfigurationManager&) = delete;
  ConfigurationManager& operator=(const ConfigurationManager&) = delete;

  // The run's timestamp, local time "%Y%m%d%H%M%S", fixed by the first successful
  // call: the first request of the run (its first event or the campaign request)
  // makes it, so it is the time of the run's first use, not of the window's opening.
  std::string GetTimestamp();
  // The local time now in the same form, or empty; the run's timestamp stays as it is.
  std::string LocalTimeText();
  // The machine GUID; an empty result is read again next time.
  std::string GetMachineGuid();
  PathPlaceholders GetPathPlaceholders();
  PathPlaceholders GetPathPlaceholders64();
  std::wstring ExpandPathPlaceholders(const std::wstring& text);

  int m_wizardType = kWizardUnknown;
  bool m_qlFlavour = false;
  bool m_classicMode = false;
  bool m_mainFailureCode3 = false;

  std::wstring m_productName;
  std::wstring m_downloadUrl;
  std::wstring m_logoUrl;
  std::wstring m_privacyUrl;
  std::wstring m_termsUrl;
  std::wstring m_sdkLicenseUrl;
  std::wstring m_downloadFolder;
  std::wstring m_installerFileName;
  // What the main product's file must show before it is kept or run: a trusted
  // signature (unless the build says otherwise), and the signer and SHA-256 that
  // the build (ISV) or the campaign's "i" block (DLM) name.
  bool m_requireSigned = true;
  std::string m_mainSigner;
  std::string m_mainSha256;
  std::wstring m_workFolder;
  std::wstring m_silentArgs;
  std::array<bool, 8> m_options{};
  std::wstring m_launchPath;
  std::wstring m_launchArgs;
  std::wstring m_productId;
  std::wstring m_mainResultPath;
  // DLM: the checked product file in Downloads stays held (unchangeable by others)
  // until the finish page has opened it.
  std::shared_ptr<const void> m_mainResultHold;
  std::wstring m_fileVersion;
  std::wstring m_configUrl;
  std::wstring m_analyticsUrl;
  std::wstring m_brand;
  std::wstring m_sourceTag;
  std::wstring m_campaignCh;
  std::wstring m_campaignCfl;
  std::uint32_t m_backgroundColour = 0;  // 0x00BBGGRR
  std::uint32_t m_accentColour = 0;
  int m_maxOffers = 0;
  int m_offerFlowCount = 0;
  int m_acceptedByRules = 0;
  std::wstring m_fileBaseUrl;
  std::wstring m_languageName;
  std::wstring m_languageCode;
  std::string m_campaignL;
  std::string m_campaignFA;
  std::string m_campaignCb;
  PackageList m_acceptedPackages;
  PackageList m_shownPackages;
  std::shared_ptr<Package> m_mainPackage;
  std::shared_ptr<Gdiplus::Bitmap> m_logoImage;
  std::string m_timestamp;
  std::string m_machineGuid;
  PathPlaceholders m_pathPlaceholders;
  PathPlaceholders m_pathPlaceholders64;
  bool m_placeholdersReady = false;
  bool m_closing = false;
  bool m_offerDeclined = false;

 private:
  void SetUpIsv(const BuildOptions& options);
  void SetUpDlm();
  void FillPlaceholders();

  SystemEnvironment& environment_;  // we don't own it
};

}  // namespace ostrane
