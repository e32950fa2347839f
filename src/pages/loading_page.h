// The second page: a marquee bar while the campaign loads in the background. It
// hands the accepted offers to the wizard through its completion callback.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "settings/configuration_manager.h"
#include "app/ipage.h"

namespace ostrane {

class LoadingPage : public IPage {
 public:
  explicit LoadingPage(std::shared_ptr<LanguageManager> languages);
  void OnNavigateToPage() override;
  std::wstring GetPageName() const override { return L"LoadingPage"; }

  // Set by the wizard; may be called on a worker thread.
  std::function<void(PackageList)> m_onPackagesReady;

 protected:
  bool OnInitDialog() override;
};

}  // namespace ostrane
