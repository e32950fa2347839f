// The page that does the work the user agreed to: it downloads the main product and
// every accepted offer one after another, then runs their installers, and moves the
// wizard on (or shows the error page when the main product failed). One class per
// wizard type on one shared base: they differ in where files go and what runs.
#pragma once

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "flow/ipage.h"
#include "winui/static_from_image.h"
#include "campaign/package.h"
#include "download/package_check.h"
#include "download/package_execution.h"

namespace ostrane {

// A package and the file downloaded and checked for it, held until it starts.
struct InstallItem {
  std::shared_ptr<Package> package;
  CheckedPackage checked;
};

class DownloadPage : public IPage {
 public:
  static constexpr UINT_PTR kDownloadTimerId = 0x1000;
  static constexpr UINT_PTR kInstallTimerId = 0x1002;

  void OnNavigateToPage() override;
  // No timer fires any more, and the running transfer (which stops at its next chunk
  // once the user has quit) and a launch still starting its process (perhaps behind
  // an elevation prompt) are waited for, so that their files can go. An installer
  // already running goes on without the wizard.
  void OnWizardEnding() override;

 protected:
  DownloadPage(std::shared_ptr<LanguageManager> languages, int templateId);

  bool OnInitDialog() override;
  std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Where one package comes from and goes to.
  struct Target {
    std::wstring url;
    std::wstring fileName;  // empty: the URL's last segment
    bool useWorkFolder;     // a new folder of its own in the work folder; else the download folder
  };
  virtual Target TargetOf(const Package& package) const = 0;
  virtual void ShowImage() = 0;
  // A download that worked and passed its checks; the package is no longer in the
  // download queue.
  virtual void OnDownloaded(const std::shared_ptr<Package>& package, const CheckedPackage& checked) = 0;
  // The download queue is empty.
  virtual void OnDownloadsDone() = 0;
  virtual void OnInstallTimer() {}

  void StartNextDownload();
  void PollDownload();
  // Calls the error handler with these texts when the main product failed, else
  // reports Next.
  void Finish(const char* errorTitleKey, const char* errorTextKey);
  void SetMarquee();
  // The package's URL as it is, or on the file base when it is not a whole URL.
  static std::wstring AbsoluteUrl(const std::wstring& url);
  // What the package's files must show before they run. The product must come from
  // the publisher: the signer the build names, or else, when this installer is
  // signed, the installer's own signer under the same authority.
  static TrustRequirements TrustOf(const Package& package);
  // The program to start for a checked package, with what stays held until it has
  // started. No program when nothing of it may run; the failure is then reported.
  StartablePackage ProgramToStart(const InstallItem& item);
  // Event 3, or -1 (3 for the main product when the settings say so), with the text.
  static void ReportFailure(Package& package, const std::string& prefix, const std::wstring& text);
  // Starts an installer once the previous launch is done, so they start in queue order.
  // waitForExit: the result comes when the installer ends, not when it has started.
  // loggedArguments: what the setup log shows instead of the arguments (an offer's).
  void Launch(const StartablePackage& start, const std::wstring& arguments, bool waitForExit,
              std::optional<std::string> loggedArguments);

  HWND m_progress = nullptr;
  bool m_marquee = false;
  std::future<CheckedDownload> m_downloadResult;
  std::future<ExecResult> m_installResult;
  bool m_launchWaitsForExit = false;
  bool m_mainFailed = false;
  std::deque<std::shared_ptr<Package>> m_downloadQueue;
  std::deque<InstallItem> m_installQueue;
  int m_packagesStarted = 0;  // numbers each package's folder in the work folder
  CStaticFromImage m_image;

 private:
  void OnProgressMessage(WPARAM percent);
  void OnNoSizeMessage();
};

class DownloadPageIsv : public DownloadPage {
 public:
  explicit DownloadPageIsv(std::shared_ptr<LanguageManager> languages);
  std::wstring GetPageName() const override { return L"DownloadPageISV"; }

  // Installing begins; the main installer has ended and the last offer has started.
  std::function<void()> m_onInstallStarted;
  std::function<void()> m_onInstallFinished;

 protected:
  Target TargetOf(const Package& package) const override;
  void ShowImage() override;
  void OnDownloaded(const std::shared_ptr<Package>& package, const CheckedPackage& checked) override;
  void OnDownloadsDone() override;
  void OnInstallTimer() override { PollMainInstall(); }

 private:
  void StartNextInstall();
  void PollMainInstall();

  std::wstring m_mainExePath;
};

class DownloadPageDlm : public DownloadPage {
 public:
  explicit DownloadPageDlm(std::shared_ptr<LanguageManager> languages);
  std::wstring GetPageName() const override { return L"DownloadPageDLM"; }

 protected:
  Target TargetOf(const Package& package) const override;
  void ShowImage() override;
  void OnDownloaded(const std::shared_ptr<Package>& package, const CheckedPackage& checked) override;
  void OnDownloadsDone() override;

 private:
  void StartNextInstall();
};

}  // namespace ostrane
