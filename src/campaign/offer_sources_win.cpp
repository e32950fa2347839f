#include "campaign/package.h"
#include "system/system_facts.h"
#include "settings/configuration_manager.h"

namespace ostrane {

OfferSources MakeOfferSources() {
  const auto settings = ConfigurationManager::Instance();
  // "major.minor" of "major.minor.build".
  std::string version = OsVersionText();
  if (const auto first = version.find('.'); first != std::string::npos) {
    if (const auto second = version.find('.', first + 1); second != std::string::npos) version.resize(second);
  }
  return OfferSourcesFrom(*settings, Md5Hex(settings->m_brand), version);
}

}  // namespace ostrane
