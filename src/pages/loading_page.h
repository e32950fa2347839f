// The second page: a marquee bar while the campaign loads in the background. It
// fetches the accepted offers' pictures and hands the offers to the wizard through
// its completion callback, exactly once.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "flow/ipage.h"
#include "eligibility/campaign_loader.h"
#include "settings/configuration_manager.h"

namespace ostrane {

class LoadingPage : public IPage {
 public:
  explicit LoadingPage(std::shared_ptr<LanguageManager> languages);
  ~LoadingPage() override;
  void OnNavigateToPage() override;
  std::wstring GetPageName() const override { return L"LoadingPage"; }

  // Set by the wizard; called on whichever thread brings the last picture in. It
  // must not assume that the wizard still exists.
  std::function<void(PackageList)> m_onPackagesReady;

 protected:
  bool OnInitDialog() override;
  std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The pictures still on their way and the hand-over they end in; shared with the
  // fetch threads, which may finish after the page is gone.
  struct PictureCountdown {
    std::mutex m_imagesMutex;
    int m_pendingImages = 0;
    PackageList packages;
    std::function<void(PackageList)> onReady;
    // One picture (or the logo) has been handled; the last one hands over.
    void Done();
  };

  LRESULT OnRequestComplete(WPARAM wParam, LPARAM lParam);
  void ShowConfigurationError();

  std::future<CampaignLoad> m_result;
  bool started_ = false;
};

}  // namespace ostrane
