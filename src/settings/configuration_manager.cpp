#include "settings/configuration_manager.h"

#include <cstdio>
#include <mutex>

#include "settings/wizard_type.h"
#include "system/text_convert.h"

namespace ostrane {

std::shared_ptr<ConfigurationManager> ConfigurationManager::Instance() {
  // Never destroyed: detached senders and fetches may read it while the process exits.
  static std::once_flag once;
  static std::shared_ptr<ConfigurationManager>* instance = nullptr;
  std::call_once(once, [] {
    instance = new std::shared_ptr<ConfigurationManager>(
        std::make_shared<ConfigurationManager>(DefaultSystemEnvironment(), CompiledBuildOptions()));
  });
  return *instance;
}

ConfigurationManager::ConfigurationManager(SystemEnvironment& environment, const BuildOptions& options)
    : environment_(environment) {
  m_wizardType = WizardTypeFromName(options.wizardTypeName);
  if (m_wizardType == kWizardUnknown) environment_.ShowMessage(L"Unknown wizard type");

  m_qlFlavour = options.qlFlavour;
  m_classicMode = options.classicMode;
  m_requireSigned = options.requireSigned;
  m_mainFailureCode3 = true;
  m_fileVersion = Utf8ToWide(environment_.InstallerVersion());

  const std::wstring campaign = L"https://" + options.campaignHost;
  m_configUrl = campaign + L"/o";
  m_analyticsUrl = campaign + L"/zbd";
  m_fileBaseUrl = campaign + L"/f/";
  m_brand = L"Quillara";
  m_productId = L"QuillaraWeb";
  m_sourceTag = L"QuillaraWeb_CPP";
  m_backgroundColour = 0xFFFFFF;
  m_accentColour = 0x993367;
  m_sdkLicenseUrl.clear();

  if (m_wizardType == kWizardDlm) {
    SetUpDlm();
  } else if (m_wizardType == kWizardIsv) {
    SetUpIsv(options);
  }
}

void ConfigurationManager::SetUpIsv(const BuildOptions& options) {
  m_productName = L"Quillara Web";
  m_mainSigner = options.mainSigner;
  m_downloadUrl = L"https://" + options.downloadHost + L"/endpoint/qlweb/os/riserollout/track/beta";
  m_privacyUrl = L"https://" + options.websiteHost + L"/legal/privacy-policy/";
  m_termsUrl = L"https://" + options.websiteHost + L"/legal/terms-of-use/";
  m_silentArgs = L"/S";
  m_launchPath = L"{commonappdata}\\Quillara Web\\qlweb.exe";
  m_launchArgs = L"/RUNONSTARTUP";

  const std::wstring folder = environment_.MakeTempWorkFolder();
  if (environment_.IsDirectory(folder)) {
    m_downloadFolder = folder;
    m_workFolder = folder;
  } else {
    m_downloadFolder.clear();
  }
}

void ConfigurationManager::SetUpDlm() {
  m_downloadFolder = environment_.GetKnownFolder(KnownFolder::Downloads);
  if (m_downloadFolder.empty()) m_downloadFolder = environment_.DocumentsFolder();
  if (m_downloadFolder.empty()) m_downloadFolder = environment_.TempPath();
  if (m_downloadFolder.empty()) m_downloadFolder = L"C:\\";

  const std::wstring folder = environment_.MakeTempWorkFolder();
  if (environment_.IsDirectory(folder)) m_workFolder = folder;
}

std::string ConfigurationManager::GetTimestamp() {
  if (m_timestamp.empty()) m_timestamp = LocalTimeText();
  return m_timestamp;
}

std::string ConfigurationManager::LocalTimeText() {
  char text[32] = {};
  if (const auto now = environment_.LocalTimeNow())
    if (std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &*now) > 0) return text;
  return {};
}

std::string ConfigurationManager::GetMachineGuid() {
  if (m_machineGuid.empty()) m_machineGuid = environment_.ReadMachineGuid();
  return m_machineGuid;
}

void ConfigurationManager::FillPlaceholders() {
  m_pathPlaceholders.Insert(L"commonpf", environment_.IsWow64() ? L"{commonpf64}" : L"{commonpf32}");
  m_pathPlaceholders.Insert(L"localappdata", environment_.GetKnownFolder(KnownFolder::LocalAppData));
  m_pathPlaceholders.Insert(L"commonappdata", environment_.GetKnownFolder(KnownFolder::RoamingAppData));
  m_pathPlaceholders.Insert(L"programdata", environment_.GetKnownFolder(KnownFolder::ProgramData));
  m_pathPlaceholders.Insert(L"commonpf32", environment_.GetKnownFolder(KnownFolder::ProgramFilesX86));
  if (environment_.IsWow64()) {
    const auto programFiles64 = environment_.EnvironmentVariable(L"ProgramW6432");
    if (programFiles64 && !programFiles64->empty() && programFiles64->size() <= 259) {
      m_pathPlaceholders.Insert(L"commonpf64", *programFiles64);
      m_pathPlaceholders64.Insert(L"commonpf64", *programFiles64);
    }
  }
  m_placeholdersReady = true;
}

PathPlaceholders ConfigurationManager::GetPathPlaceholders() {
  if (!m_placeholdersReady) FillPlaceholders();
  return m_pathPlaceholders;
}

PathPlaceholders ConfigurationManager::GetPathPlaceholders64() {
  if (!m_placeholdersReady) FillPlaceholders();
  return m_pathPlaceholders64;
}

std::wstring ConfigurationManager::ExpandPathPlaceholders(const std::wstring& text) {
  return GetPathPlaceholders().Expand(text);
}


}  // namespace ostrane
