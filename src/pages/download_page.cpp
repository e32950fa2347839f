#include "pages/download_page.h"

#include <commctrl.h>

#include "download/download_manager.h"
#include "download/folder_tree.h"
#include "download/package_files.h"
#include "download/package_verification.h"
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
  } else {
    trust = package.m_trust;
  }
  trust.signatureRequired = settings->m_requireSigned;
  return trust;
}

std::wstring DownloadPage::ProgramToStart(const InstallItem& item, const std::wstring& unpackFolder) {
  const ArchiveType kind = GetArchiveType(item.path);
  if (kind == ArchiveType::None) return item.path;
  std::wstring unpackFailure;
  const std::wstring exe = PrepareExecutable(item.path, kind, unpackFolder, &unpackFailure);
  if (!unpackFailure.empty()) {
    // Nothing of it was unpacked or started: a failure, not an install.
    ReportFailure(*item.package, "EXEC FAILED: ", unpackFailure);
    return {};
  }
  if (exe == item.path) return exe;
  // The archive's digest was checked with its download; the program inside is held
  // to the signature rules before it runs.
  const std::string problem = FindProgramTrustProblem(exe, TrustOf(*item.package));
  log::LogLine("verify", item.package->LogName() + ", the program unpacked from its archive: " +
                             (problem.empty() ? std::string("trusted") : "not trusted, " + problem));
  if (problem.empty()) return exe;
  DeleteFolderTree(exe.substr(0, exe.find_last_of(L'\\')));
  ReportFailure(*item.package, "DOWNLOAD FAILED: ", NotTrustedText(problem));
  return {};
}

void DownloadPage::StartNextDownload() {
  // Once the user has quit, nothing new is fetched.
  if (ConfigurationManager::Instance()->m_closing || m_downloadQueue.empty()) return;
  const Target target = TargetOf(*m_downloadQueue.front());
  log::LogLine("install", m_downloadQueue.front()->LogName() + ": downloading");
  // The file is checked before the page hears of it: one that must not run is gone
  // by then, and its download counts as failed.
  m_downloadResult = std::async(std::launch::async, [manager = DownloadManager::Instance(), target,
                                                     trust = TrustOf(*m_downloadQueue.front()), page = hwnd()] {
    const DownloadResult result = manager->Download(target.url, page, target.fileName, target.useWorkFolder);
    return RefuseUntrustedDownload(result, manager->m_lastFilePath, trust);
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
  const DownloadResult result = m_downloadResult.get();
  if (!result.ok) {
    ReportFailure(*package, "DOWNLOAD FAILED: ", result.text);
    if (package->m_isMainProduct) m_mainFailed = true;
  } else {
    OnDownloaded(package, DownloadManager::Instance()->m_lastFilePath);
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
}

void DownloadPage::Launch(const std::wstring& exe, const std::wstring& arguments, bool waitForExit,
                          std::optional<std::string> loggedArguments) {
  if (m_installResult.valid()) m_installResult.wait();
  m_installResult = LaunchAsync(exe, arguments, waitForExit, std::move(loggedArguments));
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

void DownloadPageIsv::OnDownloaded(const std::shared_ptr<Package>& package, const std::wstring& path) {
  if (package->m_isMainProduct) ConfigurationManager::Instance()->m_mainResultPath = path;
  m_installQueue.push_back({package, path});
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
  if (GetArchiveType(item.path) != ArchiveType::None) settings->m_workFolder = settings->m_downloadFolder;
  const std::wstring exe = ProgramToStart(item, settings->m_downloadFolder);
  const bool main = item.package->m_isMainProduct;
  if (exe.empty()) {
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
  Launch(exe, arguments, main, item.package->LoggedArguments());
  if (main) {
    m_mainExePath = exe;
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

void DownloadPageDlm::OnDownloaded(const std::shared_ptr<Package>& package, const std::wstring& path) {
  if (package->m_isMainProduct) {
    ConfigurationManager::Instance()->m_mainResultPath = path;
    package->SendEvent(kEventInstalled, nullptr);
    return;
  }
  m_installQueue.push_back({package, path});
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
    const std::wstring exe = ProgramToStart(item, settings->m_workFolder);
    if (exe.empty()) {
      m_installQueue.pop_front();
      continue;
    }
    const bool main = item.package->m_isMainProduct;
    const std::wstring arguments = main ? settings->m_silentArgs : AnsiToWide(item.package->m_arguments);
    Launch(exe, arguments, main, item.package->LoggedArguments());
    item.package->SendEvent(kEventInstalled, nullptr);
    m_installQueue.pop_front();
  }
  Finish("PAGE_DOWNLOAD_ERROR_TITLE", "PAGE_DOWNLOAD_ERROR_DESC");
}

}  // namespace ostrane
