#include <windows.h>

#include "campaign/api_manager.h"
#include "system/system_facts.h"
#include "settings/configuration_manager.h"

namespace ostrane {
namespace {

// The file name's code travels in the code page of the file-system functions.
std::string FileSystemCodePageText(const std::wstring& text) {
  if (text.empty()) return {};
  const UINT codePage = ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  const int length =
      ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

std::unique_ptr<nlohmann::json> ApiManager::RequestConfig() {
  const auto settings = ConfigurationManager::Instance();
  return RequestConfig(*settings,
                       ConfigRequestFactsFrom(*settings, FileSystemCodePageText(FileNameCampaignCode()), OsVersionText()));
}

}  // namespace ostrane
