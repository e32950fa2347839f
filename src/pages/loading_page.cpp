#include "pages/loading_page.h"

#include <commctrl.h>

#include <system_error>

#include "campaign/api_manager.h"
#include "log/setup_log.h"
#include "eligibility/win32_machine.h"
#include "download/download_manager.h"
#include "net/request_context.h"
#include "res/resource.h"
#include "settings/wizard_type.h"
#include "threads/detached_thread.h"
#include "winui/gdiplus_image.h"
#include "winui/window_messages.h"

namespace ostrane {
namespace {

// The campaign task: the configuration request, then the offers through the rules.
CampaignLoad RequestAndLoadCampaign() {
  std::unique_ptr<nlohmann::json> reply;
  {
    const auto api = ApiManager::Instance();
    reply = api->RequestConfig();
  }
  const auto settings = ConfigurationManager::Instance();
  Win32Machine machine;
  OfferFactory factory;
  factory.makeContext = MakeRequestContext;
  factory.makeSources = MakeOfferSources;
  return LoadCampaign(*reply, *settings, machine, factory);
}

}  // namespace

LoadingPage::LoadingPage(std::shared_ptr<LanguageManager> languages) : IPage(std::move(languages), IDD_LOADING_PAGE) {}

// A campaign task still running is not waited for: the wizard has given the abort
// signal by then (OnWizardEnding), and the task holds what it uses.
LoadingPage::~LoadingPage() = default;

bool LoadingPage::OnInitDialog() {
  IPage::OnInitDialog();
  ApplyTexts();  // binds nothing; kept for pages that bind later
  return true;
}

void LoadingPage::OnNavigateToPage() {
  HWND progress = Item(IDC_LOADING_PROGRESS);
  ::SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ::SendMessageW(progress, PBM_SETPOS, 0, 0);
  ::SendMessageW(progress, PBM_SETMARQUEE, TRUE, 30);
  ::SetWindowLongPtrW(progress, GWL_STYLE, ::GetWindowLongPtrW(progress, GWL_STYLE) | PBS_MARQUEE);

  // The wizard shows this page once; the campaign is requested once.
  if (started_) return;
  started_ = true;
  // The offer pictures that follow are decoded on their own threads; GDI+ starts
  // here, on this thread, while the user waits for the campaign anyway.
  win::StartGdiplusOnDemand();
  HWND page = hwnd();
  // A thread nobody joins: quitting does not wait for a server that takes its time.
  auto promise = std::make_shared<std::promise<CampaignLoad>>();
  m_result = promise->get_future();
  const auto task = [promise, page] {
    try {
      promise->set_value(RequestAndLoadCampaign());
    } catch (...) {
      promise->set_exception(std::current_exception());
    }
    ::PostMessageW(page, WM_REQUEST_COMPLETE, 0, 0);
  };
  try {
    StartDetachedThread(task);
  } catch (const std::system_error&) {
    // No thread for it: the campaign is as good as unreachable.
    promise->set_exception(std::current_exception());
    ::PostMessageW(page, WM_REQUEST_COMPLETE, 0, 0);
  }
}

void LoadingPage::OnWizardEnding() {
  // The task stops waiting for the request, and then runs no rules and sends
  // nothing; the request itself ends alone on its own thread. A task still busy is
  // left behind after a short wait: nothing of it reaches the user or the servers
  // once the signal is given.
  ApiManager::Instance()->Abort();
  if (m_result.valid()) m_result.wait_for(kTaskBound);
}

std::optional<INT_PTR> LoadingPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_REQUEST_COMPLETE) return OnRequestComplete(wParam, lParam);
  return IPage::OnMessage(message, wParam, lParam);
}

void LoadingPage::PictureCountdown::Done() {
  std::function<void(LoadedOffers)> handOver;
  {
    std::lock_guard lock(m_imagesMutex);
    if (--m_pendingImages != 0 || !onReady) return;
    handOver = std::move(onReady);  // once
  }
  handOver(loaded);
}

void LoadingPage::PictureCountdown::PictureDone(std::size_t index, std::shared_ptr<Gdiplus::Bitmap> picture) {
  {
    std::lock_guard lock(m_imagesMutex);
    loaded.pictures[index] = std::move(picture);
  }
  Done();
}

void LoadingPage::PictureCountdown::LogoDone(std::shared_ptr<Gdiplus::Bitmap> logo) {
  {
    std::lock_guard lock(m_imagesMutex);
    loaded.logo = std::move(logo);
  }
  Done();
}

LRESULT LoadingPage::OnRequestComplete(WPARAM, LPARAM) {
  if (!m_result.valid()) return 0;
  const auto settings = ConfigurationManager::Instance();
  const bool dlm = settings->m_wizardType == kWizardDlm;
  PackageList packages;
  try {
    CampaignLoad load = m_result.get();
    if (load.configurationError) {
      log::LogLine("campaign", "the product block lacks a title or a download URL");
      ShowConfigurationError();
      return 0;
    }
    packages = std::move(load.packages);
    log::LogLine("campaign", "loaded: " + std::to_string(packages.size()) + " offers to show");
  } catch (const std::exception& error) {
    log::LogLine("campaign", std::string("not loaded: ") + (*error.what() ? error.what() : "the request failed") +
                                 (dlm ? "" : "; the product is installed without offers"));
    // DLM cannot go on without its product; any other wizard installs its own
    // product without offers.
    if (dlm) {
      ShowConfigurationError();
      return 0;
    }
  }

  auto countdown = std::make_shared<PictureCountdown>();
  countdown->loaded.offers = packages;
  countdown->loaded.pictures.resize(packages.size());
  countdown->onReady = m_onPackagesReady;
  {
    std::lock_guard lock(countdown->m_imagesMutex);
    // One more than there is to wait for: the hand-over cannot happen while the
    // fetches are still being started.
    countdown->m_pendingImages = static_cast<int>(packages.size()) + 1;
  }
  if (dlm && !settings->m_logoUrl.empty()) {
    {
      std::lock_guard lock(countdown->m_imagesMutex);
      ++countdown->m_pendingImages;
    }
    DownloadManager::Instance()->FetchAsync(settings->m_logoUrl, [countdown](ByteBuffer data) {
      countdown->LogoDone(data && !data->empty() ? win::LoadImageFromBytes(data->data(), data->size()) : nullptr);
    });
  }
  for (std::size_t index = 0; index < packages.size(); ++index) {
    packages[index]->DownloadImage([countdown, index](std::shared_ptr<Gdiplus::Bitmap> picture) {
      countdown->PictureDone(index, std::move(picture));
    });
  }
  countdown->Done();  // all started: now the last picture (or this) hands over
  return 0;
}

void LoadingPage::ShowConfigurationError() {
  ReportError(languages()->GetText("PAGE_CONFIGURATION_ERROR_TITLE"),
              languages()->GetText("PAGE_CONFIGURATION_ERROR_DESC"));
}

}  // namespace ostrane
