#include "pages/download_page.h"

#include <commctrl.h>

#include "download/download_manager.h"
#include "download/package_files.h"
#include "download/package_verification.h"
#include "system/new_folder.h"
#include "log/setup_log.h"
#include "system/text_convert.h"
#include "res/resource.h"
#include "settings/configuration_manager.h"
#include "winui/window_messages.h"

namespace ostrane {

DownloadPage::DownloadPage(std::shared_ptr<LanguageManager> languages, int templateId)
    : IPage(std::move(languages), templateId) {}

bool DownloadPage::OnInitDialog() {
  IPage::OnInitDialog();
  m_progress = Item(IDC_DOWNLOAD_PROGRESS);
  BindText(IDC_PROGRESS_TITLE, "PROGRESS_TITLE");
  BindText(IDC_PROGRESS_DESC, "PROGRESS_DESC");
  ApplyTexts();
  m_image.Attach(Item(IDC_PAGE_IMAGE));
  m_image.SetName(ConfigurationManager::Instance()->m_productName);
  ShowImage();
  // A progress bar draws no text: its window text is its name for screen readers.
  wchar_t title[256] = {};
  ::GetDlgItemTextW(hwnd(), IDC_PROGRESS_TITLE, title, 256);
  ::SetWindowTextW(m_progress, title);
  return true;
}

void DownloadPage::OnNavigateToPage() {
  const auto settings = ConfigurationManager::Instance();
  m_downloadQueue.push_back(settings->m_mainPackage);
  for (const auto& shown : settings->m_shownPackages)
    if (shown->m_pn.enabled)
      log::LogLine("marker", shown->LogName() + (shown->WriteRegistryDateMarker() ? ": partner date marker written"
                                                                                 : ": partner date marker not written"));
  for (const auto& accepted : settings->m_acceptedPackages) m_downloadQueue.push_back(accepted);
  StartNextDownload();
}

std::wstring DownloadPage::AbsoluteUrl(const std::wstring& url) {
  // A URL that names its scheme is whole even when its host has no dot ("localhost",
  // a name on the local network), which the URL test alone would prefix.
  const bool hasScheme = url.rfind(L"https://", 0) == 0 || url.rfind(L"http://", 0) == 0;
  return hasScheme || IsValidUrl(url) ? url : ConfigurationManager::Instance()->m_fileBaseUrl + url;
}

void DownloadPage::ReportFailure(Package& package, const std::string& prefix, const std::wstring& text) {
  const bool code3 = package.m_isMainProduct && ConfigurationManager::Instance()->m_mainFailureCode3;
  log::LogLine("install", package.LogName() + ": " + prefix + WideToUtf8(text));
  package.SendEvent(code3 ? kEventInstalled : kEventFailed, nlohmann::json{{"12", prefix + WideToAnsi(text)}});
}

TrustRequirements DownloadPage::TrustOf(const Package& package) {
  const auto settings = ConfigurationManager::Instance();
  TrustRequirements trust;
  if (package.m_isMainProduct) {
    trust.sha256 = settings->m_mainSha256;
    trust.signer = settings->m_mainSigner;
    // It may run elevated: with no signer named, the installer's own signer (and its
    // authority) vouches for it. An unsigned installer, a developer's build, cannot.
    if (const auto& own = InstallerSigner(); trust.signer.empty() && own) {
      trust.signer = own->commonName;
      trust.signerIssuer = own->issuer;
    }
  } else {
    trust = package.m_trust;
  }
  trust.signatureRequired = settings->m_requireSigned;
  return trust;
}

StartablePackage DownloadPage::ProgramToStart(const InstallItem& item) {
  StartablePackage start = PrepareToStart(item.checked, TrustOf(*item.package));
  if (!start.failurePrefix.empty()) {
    ReportFailure(*item.package, start.failurePrefix, start.failure);
    start.program.clear();
  }
  return start;
}

void DownloadPage::StartNextDownload() {
  // Once the user has quit, nothing new is fetched.
  if (ConfigurationManager::Instance()->m_closing || m_downloadQueue.empty()) return;
  const Target target = TargetOf(*m_downloadQueue.front());
  const auto settings = ConfigurationManager::Instance();
  // Each package has a folder of its own: no download can replace another's file.
  const std::wstring folder = target.useWorkFolder
                                  ? MakeNewFolder(settings->m_workFolder, std::to_wstring(m_packagesStarted++))
                                  : settings->m_downloadFolder;
  log::LogLine("install", m_downloadQueue.front()->LogName() + ": downloading");
  // The file is checked before the page hears of it: one that must not run is gone
  // by then, and its download counts as failed. One that passed stays held.
  m_downloadResult = std::async(std::launch::async, [manager = DownloadManager::Instance(), target, folder,
                                                     package = m_downloadQueue.front(), page = hwnd(),
                                                     installerPackages = !target.useWorkFolder] {
    if (folder.empty())
      return CheckedDownload{{false, L"No folder of its own could be made for the download", {}}, {}};
    const DownloadResult result = manager->DownloadInto(target.url, page, target.fileName, folder, !target.useWorkFolder);
    return CheckDownload(result, TrustOf(*package), installerPackages);
  });
  ::SetTimer(hwnd(), kDownloadTimerId, 100, nullptr);
}

void DownloadPage::PollDownload() {
  if (!m_downloadResult.valid() ||
      m_downloadResult.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    return;
  ::KillTimer(hwnd(), kDownloadTimerId);
  const std::shared_ptr<Package> package = m_downloadQueue.front();
  m_downloadQueue.pop_front();
  const CheckedDownload downloaded = m_downloadResult.get();
  if (!downloaded.result.ok) {
    ReportFailure(*package, "DOWNLOAD FAILED: ", downloaded.result.text);
    if (package->m_isMainProduct) m_mainFailed = true;
  } else {
    OnDownloaded(package, downloaded.package);
  }
  // A failed download never stops the queue.
  if (!m_downloadQueue.empty()) {
    StartNextDownload();
  } else {
    OnDownloadsDone();
  }
}

void DownloadPage::Finish(const char* errorTitleKey, const char* errorTextKey) {
  if (m_mainFailed) {
    ReportError(languages()->GetText(errorTitleKey), languages()->GetText(errorTextKey));
  } else {
    ReportButton(ButtonType::Next);
  }
}

void DownloadPage::SetMarquee() {
  ::SendMessageW(m_progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
  ::SendMessageW(m_progress, PBM_SETMARQUEE, TRUE, 30);
  ::SetWindowLongPtrW(m_progress, GWL_STYLE, ::GetWindowLongPtrW(m_progress, GWL_STYLE) | PBS_MARQUEE);
}

void DownloadPage::OnNoSizeMessage() {
  SetMarquee();
  m_marquee = true;
}

void DownloadPage::OnProgressMessage(WPARAM percent) {
  const double fraction = static_cast<unsigned>(percent) / 100.0;
  if (fraction > 1.0) {
    SetMarquee();  // the bar turns, but m_marquee keeps its value
    return;
  }
  if (m_marquee) {
    ::SendMessageW(m_progress, PBM_SETMARQUEE, FALSE, 0);
    ::SendMessageW(m_progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
    ::SendMessageW(m_progress, PBM_SETSTEP, 1, 0);
    ::SetWindowLongPtrW(m_progress, GWL_STYLE, ::GetWindowLongPtrW(m_progress, GWL_STYLE) & ~PBS_MARQUEE);
    m_marquee = false;
  }
  ::SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(fraction * 100), 0);
}

std::optional<INT_PTR> DownloadPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kDownloadTimerId) {
        PollDownload();
      } else if (wParam == kInstallTimerId) {
        OnInstallTimer();
      }
      return 0;
    case WM_DOWNLOAD_PROGRESS:  // also DM_SETDEFID: this page has no default button to set
      OnProgressMessage(wParam);
      return 0;
    case WM_DOWNLOAD_NO_SIZE:
      OnNoSizeMessage();
      return 0;
    default:
      return IPage::OnMessage(message, wParam, lParam);
  }
}

void DownloadPage::OnWizardEnding() {
  ::KillTimer(hwnd(), kDownloadTimerId);
  ::KillTimer(hwnd(), kInstallTimerId);
  if (m_downloadResult.valid()) m_downloadResult.wait();
  // An installer that is running goes on without the wizard ("will finish momentarily");
  // only a launch still starting its process is waited for.
  if (m_installResult.valid() && !m_launchWaitsForExit) m_installResult.wait();
  // What will never start now is let go, so that its files can be removed with the
  // work folder.
  m_installQueue.clear();
}

void DownloadPage::Launch(const StartablePackage& start, const std::wstring& arguments, bool waitForExit,
                          std::optional<std::string> loggedArguments) {
  if (m_installResult.valid()) m_installResult.wait();
  m_installResult = LaunchAsync(start.program, arguments, waitForExit, start.holds, std::move(loggedArguments));
  m_launchWaitsForExit = waitForExit;
}

// --- ISV: the main installer runs silently and is waited for, then the offers start.

DownloadPageIsv::DownloadPageIsv(std::shared_ptr<LanguageManager> languages)
    : DownloadPage(std::move(languages), IDD_DOWNLOAD_PAGE_ISV) {}

void DownloadPageIsv::ShowImage() { m_image.LoadFromResource(IDR_IMAGE_PRODUCT, L"IMAGE_BLOB"); }

DownloadPage::Target DownloadPageIsv::TargetOf(const Package& package) const {
  if (package.m_isMainProduct) return {AbsoluteUrl(ConfigurationManager::Instance()->m_downloadUrl), L"", true};
  return {AbsoluteUrl(AnsiToWide(package.m_url)), L"", true};
}

void DownloadPageIsv::OnDownloaded(const std::shared_ptr<Package>& package, const CheckedPackage& checked) {
  if (package->m_isMainProduct) ConfigurationManager::Instance()->m_mainResultPath = checked.path;
  m_installQueue.push_back({package, checked});
}

void DownloadPageIsv::OnDownloadsDone() {
  if (m_onInstallStarted) m_onInstallStarted();
  SetMarquee();
  m_marquee = true;
  StartNextInstall();
}

void DownloadPageIsv::StartNextInstall() {
  const auto settings = ConfigurationManager::Instance();
  if (m_installQueue.empty()) {
    // The main product is queued first, so nothing to install means its download failed.
    if (m_mainFailed) ReportError(languages()->GetText("PAGE_ERROR_TITLE"), languages()->GetText("PAGE_ERROR_TEXT"));
    return;
  }
  const InstallItem& item = m_installQueue.front();
  const StartablePackage start = ProgramToStart(item);
  const bool main = item.package->m_isMainProduct;
  if (start.program.empty()) {
    if (main) m_mainFailed = true;
    m_installQueue.pop_front();
    if (!m_installQueue.empty()) {
      StartNextInstall();
      return;
    }
    if (m_onInstallFinished) m_onInstallFinished();
    Finish("PAGE_ERROR_TITLE", "PAGE_ERROR_TEXT");
    return;
  }
  std::wstring arguments;
  if (main) {
    arguments = settings->m_classicMode ? ClassicInstallArguments(settings->m_options) : settings->m_silentArgs;
  } else {
    arguments = AnsiToWide(item.package->m_arguments);
  }
  Launch(start, arguments, main, item.package->LoggedArguments());
  if (main) {
    m_mainExePath = start.program;
    ::SetTimer(hwnd(), kInstallTimerId, 100, nullptr);
    return;
  }
  // An offer's installer is not judged: started is installed.
  item.package->SendEvent(kEventInstalled, nullptr);
  m_installQueue.pop_front();
  if (!m_installQueue.empty()) {
    StartNextInstall();
    return;
  }
  if (m_onInstallFinished) m_onInstallFinished();
  Finish("PAGE_ERROR_TITLE", "PAGE_ERROR_TEXT");
}

void DownloadPageIsv::PollMainInstall() {
  if (!m_installResult.valid() || m_installResult.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    return;
  ::KillTimer(hwnd(), kInstallTimerId);
  const InstallItem item = m_installQueue.front();
  if (m_onInstallFinished) m_onInstallFinished();
  const ExecResult result = m_installResult.get();
  if (result.exitCode != 0) {
    ReportFailure(*item.package, "EXEC FAILED: ", result.text);
    m_mainFailed = true;
  } else {
    ConfigurationManager::Instance()->m_mainResultPath = m_mainExePath;
    // An outcome that could not be awaited goes with the event, so the server can tell.
    item.package->SendEvent(kEventInstalled,
                            result.text.empty() ? nlohmann::json() : nlohmann::json{{"12", WideToAnsi(result.text)}});
  }
  m_installQueue.pop_front();
  if (!m_installQueue.empty()) {
    StartNextInstall();
  } else {
    Finish("PAGE_ERROR_TITLE", "PAGE_ERROR_TEXT");
  }
}

// --- DLM: the main installer stays in Downloads for the finish page; offers start.

DownloadPageDlm::DownloadPageDlm(std::shared_ptr<LanguageManager> languages)
    : DownloadPage(std::move(languages), IDD_DOWNLOAD_PAGE_DLM) {}

void DownloadPageDlm::ShowImage() { m_image.SetImage(ConfigurationManager::Instance()->m_logoImage); }

DownloadPage::Target DownloadPageDlm::TargetOf(const Package& package) const {
  const auto settings = ConfigurationManager::Instance();
  if (package.m_isMainProduct) return {settings->m_downloadUrl, settings->m_installerFileName, false};
  return {AbsoluteUrl(AnsiToWide(package.m_url)), L"", true};
}

void DownloadPageDlm::OnDownloaded(const std::shared_ptr<Package>& package, const CheckedPackage& checked) {
  if (!package->m_isMainProduct) {
    m_installQueue.push_back({package, checked});
    return;
  }
  // The finish page opens the product through the Shell: only a program or a Windows
  // Installer package, checked, and held until then.
  if (checked.kind != PackageKind::Program && checked.kind != PackageKind::WindowsInstaller) {
    ::DeleteFileW(checked.path.c_str());  // ours: the download made it under a free name
    ReportFailure(*package, "EXEC FAILED: ",
                  std::wstring(kNotAProgram) + checked.path.substr(checked.path.find_last_of(L'\\') + 1) +
                      L" is neither a Windows program nor a Windows Installer package");
    m_mainFailed = true;
    return;
  }
  const auto settings = ConfigurationManager::Instance();
  settings->m_mainResultPath = checked.path;
  settings->m_mainResultHold = checked.holds;
  package->SendEvent(kEventInstalled, nullptr);
}

void DownloadPageDlm::OnDownloadsDone() {
  if (!m_installQueue.empty()) {
    StartNextInstall();
  } else {
    Finish("PAGE_DOWNLOAD_ERROR_TITLE", "PAGE_DOWNLOAD_ERROR_DESC");
  }
}

void DownloadPageDlm::StartNextInstall() {
  const auto settings = ConfigurationManager::Instance();
  while (!m_installQueue.empty()) {
    const InstallItem item = m_installQueue.front();
    const StartablePackage start = ProgramToStart(item);
    if (start.program.empty()) {
      m_installQueue.pop_front();
      continue;
    }
    const bool main = item.package->m_isMainProduct;
    const std::wstring arguments = main ? settings->m_silentArgs : AnsiToWide(item.package->m_arguments);
    Launch(start, arguments, main, item.package->LoggedArguments());
    item.package->SendEvent(kEventInstalled, nullptr);
    m_installQueue.pop_front();
  }
  Finish("PAGE_DOWNLOAD_ERROR_TITLE", "PAGE_DOWNLOAD_ERROR_DESC");
}

}  // namespace ostrane
