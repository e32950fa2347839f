// The second page: a marquee bar while the campaign loads in the background. It
// fetches the accepted offers' pictures and hands the offers to the wizard through
// its completion callback, exactly once.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "flow/ipage.h"
#include "eligibility/campaign_loader.h"
#include "settings/configuration_manager.h"

namespace ostrane {

// What the loading page hands to the wizard: the offers with the pictures fetched
// for them (null where none came, in the offers' order) and the DLM logo. Pictures go
// into the packages and the settings on the user-interface thread only.
struct LoadedOffers {
  PackageList offers;
  std::vector<std::shared_ptr<Gdiplus::Bitmap>> pictures;
  std::shared_ptr<Gdiplus::Bitmap> logo;
};

class LoadingPage : public IPage {
 public:
  explicit LoadingPage(std::shared_ptr<LanguageManager> languages);
  ~LoadingPage() override;
  void OnNavigateToPage() override;
  void OnWizardEnding() override;
  std::wstring GetPageName() const override { return L"LoadingPage"; }

  // Set by the wizard; called on whichever thread brings the last picture in. It
  // must not assume that the wizard still exists.
  std::function<void(LoadedOffers)> m_onPackagesReady;

 protected:
  bool OnInitDialog() override;
  std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The pictures still on their way and the hand-over they end in; shared with the
  // fetch threads, which may finish after the page is gone.
  struct PictureCountdown {
    std::mutex m_imagesMutex;
    int m_pendingImages = 0;
    LoadedOffers loaded;
    std::function<void(LoadedOffers)> onReady;
    // One fetch has ended; the last one hands over.
    void Done();
    void PictureDone(std::size_t index, std::shared_ptr<Gdiplus::Bitmap> picture);
    void LogoDone(std::shared_ptr<Gdiplus::Bitmap> logo);
  };

  LRESULT OnRequestComplete(WPARAM wParam, LPARAM lParam);
  void ShowConfigurationError();

  // How long the wizard, when it ends, waits for a campaign task it has aborted.
  static constexpr std::chrono::seconds kTaskBound{2};

  std::future<CampaignLoad> m_result;
  bool started_ = false;
};

}  // namespace ostrane
